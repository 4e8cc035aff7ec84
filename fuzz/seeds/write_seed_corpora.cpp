// Writes the seed corpora of the fuzz targets, built with the test suite's own
// package and document writers: <dir>/metadata_parse/* (and the XML reader's
// xml_reader/*, xml_differential/* and reader_passes/*) holds documents of every shape the metadata
// parser knows, <dir>/package/* holds packages of every storage kind and table
// shape, and small packages that cost the most a package may cost: descriptions
// as large as allowed, shared by many records, and documents that nest deep or
// hold nothing but dependencies.
// Usage: write_seed_corpora <dir>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "raw/voka/entry_details.h"
#include "support/meta_kvt.h"
#include "support/package_writer.h"

namespace {

using quellan::test_support::KvtAttribute;
using quellan::test_support::meta_kvt_document;
using quellan::test_support::minimal_meta_kvt;
using quellan::test_support::PackageEntry;
using quellan::test_support::PackageWriter;

using NamedInput = std::pair<std::string, std::string>;

std::string full_meta_kvt() {
  const std::vector<KvtAttribute> module_info = {
      {.id = "Author", .value = "Someone"},
      {.id = "CharacterCreationLevelName", .value = "cc"},
      {.id = "Description", .value = "  A module &amp; more  "},
      {.id = "Folder", .value = "Foo"},
      {.id = "GMTemplate", .value = "gm"},
      {.id = "LobbyLevelName", .value = "lobby"},
      {.id = "MD5", .value = "0123456789abcdef0123456789abcdef"},
      {.id = "MainMenuBackgroundVideo", .value = "video"},
      {.id = "MenuLevelName", .value = "menu"},
      {.id = "Name", .value = "Foo Mod"},
      {.id = "PhotoBooth", .value = "booth"},
      {.id = "StartupLevelName", .value = "startup"},
      {.id = "Tags", .value = "a;b"},
      {.id = "Type", .value = "Add-on"},
      {.id = "UUID", .value = "d0c0e7a2-4f65-4bd4-9d0a-8c7f4a7b1e11", .type = "guid"},
      {.id = "PublishHandle", .value = "18446744073709551615", .type = "uint64"},
      {.id = "Version64", .value = "-9223372036854775808", .type = "int64"},
      {.id = "NumPlayers", .value = "255", .type = "uint8"},
  };
  const std::vector<KvtAttribute> dependency = {
      {.id = "Folder", .value = "Base"},
      {.id = "MD5", .value = ""},
      {.id = "Name", .value = "Base"},
      {.id = "UUID", .value = "28ac9ce2-2aba-8cda-b3b5-6e922f71b6b8", .type = "guid"},
      {.id = "Version64", .value = "+36028797018963968", .type = "int64"},
  };
  return meta_kvt_document(module_info, {dependency, dependency});
}

// A document that opens `levels` elements and closes none.
std::string unclosed_nesting(std::size_t levels) {
  std::string document = "<save>";
  for (std::size_t level = 0; level < levels; ++level) document += "<a>";
  return document;
}

// A document of at most `size` bytes that holds nothing but empty dependency nodes.
std::string empty_dependencies(std::size_t size) {
  constexpr std::string_view NODE = "<node id=\"ModuleShortDesc\"></node>";
  std::string document = "<save>";
  while (document.size() + NODE.size() + std::string_view("</save>").size() <= size) document += NODE;
  return document + "</save>";
}

// Documents that each take the parser down one of its less travelled roads.
std::vector<NamedInput> documents() {
  const std::string info_start = "<save><region id=\"Config\"><node id=\"root\"><children><node id=\"ModuleInfo\">";
  const std::string info_end = "</node></children></node></region></save>";
  auto in_module_info = [&](const std::string& inside) { return info_start + inside + info_end; };
  return {
      {"full", full_meta_kvt()},
      {"minimal", minimal_meta_kvt("Foo")},
      {"empty", ""},
      {"two_module_infos",
       "<save><node id=\"ModuleInfo\"><attribute id=\"Name\" value=\"first\"/></node>"
       "<node id=\"ModuleInfo\"><attribute id=\"Folder\" value=\"second\"/></node></save>"},
      {"nested_node", in_module_info("<attribute id=\"Version64\" value=\"1\"/><node id=\"x\">"
                                     "<attribute id=\"Version64\" value=\"2\"/></node>"
                                     "<attribute id=\"Name\" value=\"after\"/>")},
      {"empty_module_info", "<save><node id=\"ModuleInfo\"/></save>"},
      {"attribute_with_end_tag", in_module_info("<attribute id=\"Name\" value=\"x\"></attribute>")},
      {"references", in_module_info("<attribute id='Name' value='a &amp; b &#65;&#x42; &lt;&gt;&apos;&quot;'/>")},
      {"unknown_entity", in_module_info("<attribute id=\"Name\" value=\"a&nbsp;b\"/>")},
      {"declarations",
       "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?><!DOCTYPE save><!-- c --><?pi x?>" +
           in_module_info("<![CDATA[<node>]]>text<attribute id=\"UUID\" value=\"u\"/>")},
      {"entity_declaration",
       "<!DOCTYPE save [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;\">]>" +
           in_module_info("<attribute id=\"Name\" value=\"&b;\"/>")},
      {"numbers", in_module_info("<attribute id=\"NumPlayers\" value=\" 12 \"/>"
                                 "<attribute id=\"PublishHandle\" value=\"+007\"/>"
                                 "<attribute id=\"Version64\" value=\"-1\"/>")},
      {"bad_number", in_module_info("<attribute id=\"Version64\" value=\"1 2\"/>")},
      {"unicode_white_space", in_module_info("<attribute id=\"Name\" value=\"\xE3\x80\x80name\xC2\xA0\"/>")},
      {"cut_off", info_start + "<attribute id=\"Name\" value=\"cut\"/><attr"},
      {"mismatched_end_tag", "<save><region></save>"},
      {"duplicate_attribute", in_module_info("<attribute id=\"Name\" value=\"a\" value=\"b\"/>")},
      {"two_ids", "<save><node id=\"ModuleInfo\" id=\"other\"></node></save>"},
      {"dependency_in_module_info", in_module_info("<node id=\"ModuleShortDesc\"><attribute id=\"Name\" value=\"d\"/>")},
      {"deep_nesting", unclosed_nesting(20'000)},
  };
}

PackageEntry with_flags(PackageEntry entry, std::uint8_t flags) {
  entry.flags = flags;
  return entry;
}

PackageEntry with_uncompressed_size(PackageEntry entry, std::uint32_t size) {
  entry.uncompressed_size = size;
  return entry;
}

// A module package whose every file is stored by `store`.
std::string module_package(const std::function<PackageEntry(std::string, std::string_view)>& store) {
  return PackageWriter()
      .add(store("Mods/Foo/meta.kvt", minimal_meta_kvt("Foo")))
      .add(store("Mods/Foo/Story/x.txt", "story"))
      .add(store("Public/Foo/Assets/a.dds", std::string(300, 'a')))
      .bytes();
}

// A description as large as a stored file may decompress to, and `copies` more
// records that point at the same stored bytes: a few KiB that ask for
// `copies` + 1 times the largest description.
std::string aliased_description(std::size_t copies) {
  std::string largest = minimal_meta_kvt("F");
  largest.resize(quellan::raw::voka::MAX_DECOMPRESSED_SIZE, ' ');
  return PackageWriter().add(PackageEntry::zlib("Mods/F/meta.kvt", largest)).add_aliases(0, copies).bytes();
}

std::string zlib_description(std::string_view document) {
  return PackageWriter().add(PackageEntry::zlib("Mods/Foo/meta.kvt", document)).bytes();
}

std::vector<NamedInput> packages() {
  const std::string description = minimal_meta_kvt("Foo");
  return {
      {"plain", module_package(PackageEntry::plain)},
      {"zlib", module_package(PackageEntry::zlib)},
      {"lz4", module_package(PackageEntry::lz4)},
      {"full_description", PackageWriter().add(PackageEntry::lz4("Mods/Foo/meta.kvt", full_meta_kvt())).bytes()},
      {"zstd", PackageWriter().add(with_flags(PackageEntry::plain("Mods/Foo/meta.kvt", description), 3)).bytes()},
      {"unknown_compression",
       PackageWriter().add(with_flags(PackageEntry::plain("Mods/Foo/meta.kvt", description), 0x05)).bytes()},
      {"upper_flag_bits", PackageWriter().add(with_flags(PackageEntry::lz4("Mods/Foo/meta.kvt", description), 0x12)).bytes()},
      {"stored_undecoded",
       PackageWriter().add(with_uncompressed_size(PackageEntry::plain("Mods/Foo/meta.kvt", description), 0)).bytes()},
      {"two_descriptions", PackageWriter()
                               .add(PackageEntry::zlib("Mods/B/meta.kvt", minimal_meta_kvt("B")))
                               .add(PackageEntry::lz4("Mods/A/meta.kvt", minimal_meta_kvt("A")))
                               .bytes()},
      {"override", PackageWriter()
                       .add(PackageEntry::plain("Mods/Foo/meta.kvt", minimal_meta_kvt("Bar")))
                       .add(PackageEntry::plain("Public/Game/x.txt", "x"))
                       .add(PackageEntry::plain("Public/Engine/Timeline/MaterialGroups/g.bin", "g"))
                       .bytes()},
      {"no_description", PackageWriter().add(PackageEntry::plain("Mods/A/B/meta.kvt", description)).bytes()},
      {"empty_table", PackageWriter().bytes()},
      {"name_without_end", PackageWriter().add(PackageEntry::plain(std::string(256, 'n'), "x")).bytes()},
      {"old_version", PackageWriter().version(17).add(PackageEntry::plain("Mods/Foo/meta.kvt", description)).bytes()},
      {"aliased_records", aliased_description(999)},
      {"deep_nesting", zlib_description(unclosed_nesting(5'000'000))},
      {"many_dependencies", zlib_description(empty_dependencies(quellan::raw::voka::MAX_DECOMPRESSED_SIZE))},
  };
}

// LZ4 inputs: a capacity and a step (see fuzz/harness/lz4_input.h), then a
// block written by liblz4 or by hand for one rule of the decoder.
std::vector<NamedInput> lz4_blocks() {
  auto input = [](std::uint32_t capacity, std::uint16_t step, std::string_view block) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((capacity >> shift) & 0xFF);
    bytes += static_cast<char>(step & 0xFF);
    bytes += static_cast<char>(step >> 8);
    return bytes + std::string(block);
  };
  const std::string records = PackageWriter().add(PackageEntry::plain("Mods/Foo/meta.kvt", "x")).records();
  // Literals, a long match a byte more than 4 KiB back, and closing literals.
  auto extension = [](std::size_t rest) { return std::string(rest / 255, '\xFF') + static_cast<char>(rest % 255); };
  std::string literals;
  for (int i = 0; i < 4200; ++i) literals += static_cast<char>(i * 7 % 251);
  const std::string far_match = "\xFF" + extension(literals.size() - 15) + literals + std::string("\x01\x10", 2) +
                                extension(8000 - 19) + "\xC0" + literals.substr(0, 12);
  return {
      {"description", input(1 << 16, 271, quellan::test_support::lz4_block(full_meta_kvt()))},
      {"records", input(1 << 12, 272, quellan::test_support::lz4_block(records + records + records))},
      {"zeros", input(1 << 20, 4095, quellan::test_support::lz4_block(std::string(1 << 20, '\0')))},
      {"overlap", input(64, 2, std::string("\x35" "abc\x03\x00\x00", 7))},
      {"match_at_end", input(64, 1, std::string("\x14" "a\x01\x00\x00", 5))},
      {"zero_offset", input(64, 1, std::string("\x10" "a\x00\x00\x00", 5))},
      {"far_long_match", input(1 << 15, 4095, far_match)},
  };
}

bool write_all(const std::filesystem::path& directory, const std::vector<NamedInput>& inputs) {
  std::filesystem::create_directories(directory);
  for (const auto& [name, bytes] : inputs) {
    std::ofstream out(directory / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", (directory / name).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <dir>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  // The XML reader's targets start from the metadata parser's documents.
  bool written = write_all(root / "package", packages());
  for (const char* target : {"metadata_parse", "xml_reader", "xml_differential", "reader_passes"}) {
    written = written && write_all(root / target, documents());
  }
  for (const char* target : {"lz4_forms", "lz4_differential"}) written = written && write_all(root / target, lz4_blocks());
  return written ? 0 : 1;
}
