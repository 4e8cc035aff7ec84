#include "support/meta_kvt.h"

namespace quellan::test_support {

namespace {

std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string described_node(std::string_view id, const std::vector<KvtAttribute>& attributes,
                           std::string_view indent) {
  std::string node = std::string(indent) + "<node id=\"" + std::string(id) + "\">\n";
  for (const KvtAttribute& attribute : attributes) {
    node += std::string(indent) + "  <attribute id=\"" + escaped(attribute.id) + "\" value=\"" +
            escaped(attribute.value) + "\" type=\"" + escaped(attribute.type) + "\"/>\n";
  }
  return node + std::string(indent) + "</node>\n";
}

}  // namespace

std::string meta_kvt_document(const std::vector<KvtAttribute>& module_info,
                              const std::vector<std::vector<KvtAttribute>>& dependencies) {
  std::string document =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<save>\n"
      "  <region id=\"Config\">\n"
      "    <node id=\"root\">\n"
      "      <children>\n"
      "        <node id=\"Dependencies\">\n"
      "          <children>\n";
  for (const auto& dependency : dependencies) {
    document += described_node("ModuleShortDesc", dependency, "            ");
  }
  document +=
      "          </children>\n"
      "        </node>\n";
  document += described_node("ModuleInfo", module_info, "        ");
  return document +
         "      </children>\n"
         "    </node>\n"
         "  </region>\n"
         "</save>\n";
}

std::string minimal_meta_kvt(std::string_view folder) {
  return meta_kvt_document({
      {.id = "Folder", .value = std::string(folder)},
      {.id = "Name", .value = std::string(folder)},
      {.id = "UUID", .value = "4f9c1b7e-2a63-4d8e-9b1f-0c5e7a3d2b61", .type = "guid"},
      {.id = "MD5", .value = "d41d8cd98f00b204e9800998ecf8427e"},
      {.id = "Version64", .value = "36028797018963968", .type = "int64"},
  });
}

}  // namespace quellan::test_support
