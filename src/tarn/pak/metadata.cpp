#include "tarn/pak/metadata.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "tarn/pak/plain_tags.h"
#include "tarn/pak/record_fields.h"
#include "tarn/pak/schema.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::tarn::pak {

namespace {

/// A described node that could not be read; the reader's own error is dropped.
struct NodeFailure {
  std::string_view node_id;
};

/// Why a parse stopped, kept as a value until its message is made: a reader
/// error while scanning or in a `node` start tag, or a node that failed.
using ParseFailure = std::variant<XmlError, NodeFailure>;

std::string cause_of(const XmlError& error) { return error.message(); }
std::string cause_of(const NodeFailure& failure) {
  return "failed to parse " + std::string(failure.node_id) + " " + schema::NODE;
}

enum class DescribedNode { none, module_info, module_short_desc };

DescribedNode described_by(std::string_view id) {
  if (id == schema::NODE_ID<ModuleInfo>) return DescribedNode::module_info;
  if (id == schema::NODE_ID<ModuleShortDesc>) return DescribedNode::module_short_desc;
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
    if ((*attribute)->key == schema::ID) return described_by(**attribute, buffer);
  }
}

/// Reads one described node, from just after its start tag, into `record`, which
/// holds the defaults. No depth is tracked: the first `node` end tag ends it,
/// whichever node it closes, and nested nodes are no nodes of their own. The end
/// of input ends it too, keeping what was read: a document cut short inside its
/// description still has one. False when the node fails.
///
/// Field tags and the `node` end tag are read in one pass where they are written
/// plainly, and by the reader's general events otherwise.
template <class Record>
bool read_node(XmlReader& reader, FieldBuffers& buffers, FieldTexts texts, Record& record) {
  IdAndValue field;
  for (;;) {
    if (reader.read_end_tag_named(schema::NODE)) return true;
    if (read_plain_field_tag(reader, field)) {
      if (!assign_field(record, field, buffers, texts)) return false;
      continue;
    }
    const error::Expected<XmlEvent, XmlError> event = reader.next();
    if (!event) return false;
    if (event->kind == XmlEventKind::end_of_input) return true;
    if (event->kind == XmlEventKind::end_tag && event->content == schema::NODE) return true;
    if (event->kind == XmlEventKind::empty_element_tag && event->content == schema::FIELD) {
      const std::optional<IdAndValue> general_field = read_id_and_value(event->attributes);
      if (!general_field || !assign_field(record, *general_field, buffers, texts)) return false;
    }
  }
}

/// Scans a document for `node` start tags and reads each described node it finds;
/// every other event is passed over.
class MetadataParser {
 public:
  MetadataParser(common::PaddedBytes document, DependencyRecords records, FieldTexts texts)
      : reader_(document), records_(records), texts_(texts), document_size_(document.view().size()) {}

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
      if (event->kind != XmlEventKind::start_tag || event->content != schema::NODE) continue;
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
      case DescribedNode::module_info:
        // The last one wins: it starts from the defaults, whatever came before.
        return read_node_into(module_info_.emplace());
      case DescribedNode::module_short_desc: {
        if (records_ == DependencyRecords::keep) return read_node_into(next_dependency());
        ModuleShortDesc dropped;
        return read_node_into(dropped);
      }
    }
    std::abort();  // every kind returns above
  }

  /// The room for the next dependency record. Records are large and costly to
  /// move, so the first one reserves room for as many as the document would hold
  /// of dependency nodes of a common size: one that holds more grows as usual,
  /// and room it does not fill is never touched.
  ModuleShortDesc& next_dependency() {
    if (dependencies_.empty()) dependencies_.reserve(document_size_ / COMMON_DEPENDENCY_BYTES + 1);
    return dependencies_.emplace_back();
  }

  /// Reads a described node into `record`, built where it is kept: a failure
  /// ends the parse, so what it leaves there is never returned.
  template <class Record>
  error::Expected<void, NodeFailure> read_node_into(Record& record) {
    if (!read_node(reader_, buffers_, texts_, record)) return std::unexpected(NodeFailure{schema::NODE_ID<Record>});
    return {};
  }

  // A dependency node of UUID and version, indented, takes about 220 bytes.
  static constexpr std::size_t COMMON_DEPENDENCY_BYTES = 200;

  XmlReader reader_;
  DependencyRecords records_;
  FieldTexts texts_;
  std::size_t document_size_;
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
