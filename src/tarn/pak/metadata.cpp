#include "tarn/pak/metadata.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "tarn/pak/plain_tags.h"
#include "tarn/pak/record_fields.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::tarn::pak {

namespace {

/// The `id` of the `node` elements that each record is read from.
template <class Record>
constexpr std::string_view NODE_ID = {};
template <>
constexpr std::string_view NODE_ID<ModuleInfo> = "ModuleInfo";
template <>
constexpr std::string_view NODE_ID<ModuleShortDesc> = "ModuleShortDesc";

/// A described node that could not be read; the reader's own error is dropped.
struct NodeFailure {
  std::string_view node_id;
};

/// Why a parse stopped, kept as a value until its message is made: a reader
/// error while scanning or in a `node` start tag, or a node that failed.
using ParseFailure = std::variant<XmlError, NodeFailure>;

std::string cause_of(const XmlError& error) { return error.message(); }
std::string cause_of(const NodeFailure& failure) {
  return "failed to parse " + std::string(failure.node_id) + " node";
}

enum class DescribedNode { none, module_info, module_short_desc };

DescribedNode described_by(std::string_view id) {
  if (id == NODE_ID<ModuleInfo>) return DescribedNode::module_info;
  if (id == NODE_ID<ModuleShortDesc>) return DescribedNode::module_short_desc;
  return DescribedNode::none;
}

/// The record that a `node` start tag describes, by its `id`, unescaped and
/// compared exactly; fails for an `id` that cannot be unescaped.
error::Expected<DescribedNode, XmlError> described_by(const XmlAttribute& id, std::string& buffer) {
  auto text = unescape(id, buffer);
  if (!text) return std::unexpected(text.error());
  return described_by(*text);
}

/// The record that a `node` start tag describes: its first `id` attribute picks
/// it; any other node is a container. Attributes after the first `id` are not
/// looked at. Fails for a bad attribute before it or an `id` that cannot be
/// unescaped.
error::Expected<DescribedNode, XmlError> described_node(XmlAttributeList attributes,
                                                        std::string& buffer) {
  XmlAttributeCursor cursor(attributes);
  for (;;) {
    auto attribute = cursor.next();
    if (!attribute) return std::unexpected(attribute.error());
    if (!*attribute) return DescribedNode::none;
    if ((*attribute)->key == "id") return described_by(**attribute, buffer);
  }
}

/// Reads one described node, from just after its start tag, into a record that
/// starts from the defaults. No depth is tracked: the first `node` end tag ends
/// it, whichever node it closes, and nested nodes are no nodes of their own. The
/// end of input ends it too, keeping what was read: a document cut short inside
/// its description still has one.
///
/// Field tags are read in one pass where they are written plainly, and by the
/// reader's general events otherwise.
template <class Record>
error::Expected<Record, NodeFailure> read_node(XmlReader& reader, FieldBuffers& buffers, FieldTexts texts) {
  static constexpr NodeFailure FAILURE{NODE_ID<Record>};
  Record record;
  for (;;) {
    if (const std::optional<IdAndValue> field = read_plain_field_tag(reader)) {
      if (!assign_field(record, *field, buffers, texts)) return std::unexpected(FAILURE);
      continue;
    }
    const error::Expected<XmlEvent, XmlError> event = reader.next();
    if (!event) return std::unexpected(FAILURE);
    if (event->kind == XmlEventKind::end_of_input) return record;
    if (event->kind == XmlEventKind::end_tag && event->content == "node") return record;
    if (event->kind == XmlEventKind::empty_element_tag && event->content == "attribute") {
      const std::optional<IdAndValue> field = read_id_and_value(event->attributes);
      if (!field || !assign_field(record, *field, buffers, texts)) return std::unexpected(FAILURE);
    }
  }
}

/// Scans a document for `node` start tags and reads each described node it finds;
/// every other event is passed over.
class MetadataParser {
 public:
  MetadataParser(common::PaddedBytes document, DependencyRecords records, FieldTexts texts)
      : reader_(document), records_(records), texts_(texts) {}

  error::Result<Metadata> run() && {
    if (error::Expected<void, ParseFailure> scanned = scan(); !scanned) {
      return std::unexpected(error::SchemaMismatch{
          std::visit([](const auto& failure) { return cause_of(failure); }, scanned.error())});
    }
    if (!module_info_) return std::unexpected(error::NoModuleInfoNode{});
    // Built in place: a record of fourteen strings costs a few hundred
    // instructions to move, a fixed cost of every description.
    return error::Result<Metadata>(std::in_place, std::move(dependencies_), std::move(*module_info_));
  }

 private:
  error::Expected<void, ParseFailure> scan() {
    for (;;) {
      if (const std::optional<NodeTag> node = read_plain_node_tag(reader_)) {
        if (node->kind != XmlEventKind::start_tag) continue;
        if (error::Expected<void, ParseFailure> read = read_node_of(described_by(node->id, buffers_.id)); !read) {
          return read;
        }
        continue;
      }
      const error::Expected<XmlEvent, XmlError> event = reader_.next();
      if (!event) return std::unexpected(event.error());
      if (event->kind == XmlEventKind::end_of_input) return {};
      if (event->kind != XmlEventKind::start_tag || event->content != "node") continue;
      if (error::Expected<void, ParseFailure> read = read_node_of(described_node(event->attributes, buffers_.id));
          !read) {
        return read;
      }
    }
  }

  /// Reads the node that a `node` start tag describes, or gives the tag's error.
  error::Expected<void, ParseFailure> read_node_of(const error::Expected<DescribedNode, XmlError>& node) {
    if (!node) return std::unexpected(node.error());
    if (error::Expected<void, NodeFailure> read = read_described(*node); !read) {
      return std::unexpected(read.error());
    }
    return {};
  }

  error::Expected<void, NodeFailure> read_described(DescribedNode node) {
    switch (node) {
      case DescribedNode::none:
        return {};
      case DescribedNode::module_info: {
        auto module_info = read_node<ModuleInfo>(reader_, buffers_, texts_);
        if (!module_info) return std::unexpected(module_info.error());
        module_info_ = std::move(*module_info);  // the last one wins
        return {};
      }
      case DescribedNode::module_short_desc: {
        auto dependency = read_node<ModuleShortDesc>(reader_, buffers_, texts_);
        if (!dependency) return std::unexpected(dependency.error());
        if (records_ == DependencyRecords::keep) dependencies_.push_back(std::move(*dependency));
        return {};
      }
    }
    std::abort();  // every kind returns above
  }

  XmlReader reader_;
  DependencyRecords records_;
  FieldTexts texts_;
  FieldBuffers buffers_;
  std::vector<ModuleShortDesc> dependencies_;
  std::optional<ModuleInfo> module_info_;
};

}  // namespace

error::Result<Metadata> Metadata::parse(common::PaddedBytes document, DependencyRecords records,
                                        FieldTexts texts) {
  return MetadataParser(document, records, texts).run();
}

}  // namespace quellan::tarn::pak
