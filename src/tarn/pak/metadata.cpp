#include "tarn/pak/metadata.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "tarn/pak/record_fields.h"
#include "tarn/pak/xml_events.h"

namespace quellan::tarn::pak {

namespace {

template <class... Visitors>
struct Overloaded : Visitors... {
  using Visitors::operator()...;
};

/// Looking through the document for the next described node.
struct Scanning {};

/// Inside a described node, filling its record from the defaults up.
template <class Record>
struct ReadingNode {
  Record record;
};

using State = std::variant<Scanning, ReadingNode<ModuleInfo>, ReadingNode<ModuleShortDesc>>;

std::string node_failure(const ReadingNode<ModuleInfo>&) {
  return "failed to parse ModuleInfo node";
}
std::string node_failure(const ReadingNode<ModuleShortDesc>&) {
  return "failed to parse ModuleShortDesc node";
}

/// The state a `node` start tag leads to from scanning: its first `id` attribute,
/// compared exactly and untrimmed, picks the record; any other node is a container.
State state_for_node(XmlAttributes attributes) {
  std::optional<std::string_view> id = attributes.find("id");
  if (id == "ModuleInfo") return ReadingNode<ModuleInfo>{};
  if (id == "ModuleShortDesc") return ReadingNode<ModuleShortDesc>{};
  return Scanning{};
}

/// Turns the event stream of one "meta.kvt" document into a `Metadata`. A reading
/// state never enters another: nested `node` elements are not nodes of their own,
/// and the first `node` end tag after a node's start ends it.
class MetadataReader final : public XmlEventHandler {
 public:
  Next on_start_tag(std::string_view name, XmlAttributes attributes) override {
    if (std::holds_alternative<Scanning>(state_) && name == "node") {
      state_ = state_for_node(attributes);
    }
    return Next::read_on;
  }

  Next on_empty_element_tag(std::string_view name, XmlAttributes attributes) override {
    if (name != "attribute") return Next::read_on;
    return std::visit(Overloaded{
                          [](Scanning&) { return Next::read_on; },
                          [&](auto& node) {
                            return assign_field(node.record, attributes) ? Next::read_on
                                                                         : fail(node_failure(node));
                          },
                      },
                      state_);
  }

  Next on_end_tag(std::string_view name) override {
    if (name == "node") complete_node();
    return Next::read_on;
  }

  void on_reader_error(std::string text) override {
    // Inside a node the reader's own text is dropped for the node's failure.
    std::visit(Overloaded{
                   [&](Scanning&) { fail(std::move(text)); },
                   [&](auto& node) { fail(node_failure(node)); },
               },
               state_);
  }

  // A node that the input ends in keeps what it read.
  void on_end_of_input() override { complete_node(); }

  error::Result<Metadata> take_result() && {
    if (mismatch_cause_) return std::unexpected(error::SchemaMismatch{std::move(*mismatch_cause_)});
    if (!module_info_) return std::unexpected(error::NoModuleInfoNode{});
    return Metadata{std::move(dependencies_), std::move(*module_info_)};
  }

 private:
  Next fail(std::string cause) {
    mismatch_cause_ = std::move(cause);
    return Next::stop;
  }

  void complete_node() {
    std::visit(Overloaded{
                   [](Scanning&) {},
                   [&](ReadingNode<ModuleInfo>& node) { module_info_ = std::move(node.record); },
                   [&](ReadingNode<ModuleShortDesc>& node) {
                     dependencies_.push_back(std::move(node.record));
                   },
               },
               state_);
    state_ = Scanning{};
  }

  State state_;
  std::vector<ModuleShortDesc> dependencies_;
  std::optional<ModuleInfo> module_info_;  // the last complete one
  std::optional<std::string> mismatch_cause_;
};

}  // namespace

error::Result<Metadata> Metadata::parse(std::string_view document) {
  MetadataReader reader;
  read_xml_events(document, reader);
  return std::move(reader).take_result();
}

}  // namespace quellan::tarn::pak
