#include "tarn/pak/metadata.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "tarn/pak/record_fields.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::tarn::pak {

namespace {

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
/// unescaped and compared exactly, picks the record; any other node is a container.
/// Attributes after the first `id` are not looked at. Fails with the reader's text
/// for a bad attribute before it or an `id` that cannot be unescaped.
error::Expected<State, std::string> state_for_node(XmlAttributeList attributes,
                                                   std::string& buffer) {
  XmlAttributeCursor cursor(attributes);
  for (;;) {
    auto attribute = cursor.next();
    if (!attribute) return std::unexpected(attribute.error().message());
    if (!*attribute) return Scanning{};
    if ((*attribute)->key != "id") continue;
    auto id = unescape(**attribute, buffer);
    if (!id) return std::unexpected(id.error().message());
    if (*id == "ModuleInfo") return ReadingNode<ModuleInfo>{};
    if (*id == "ModuleShortDesc") return ReadingNode<ModuleShortDesc>{};
    return Scanning{};
  }
}

/// Pulls the events of one "meta.kvt" document and turns them into a `Metadata`.
/// A reading state never enters another: nested `node` elements are not nodes of
/// their own, and the first `node` end tag after a node's start ends it.
class MetadataParser {
 public:
  MetadataParser(std::string_view document, DependencyRecords records)
      : reader_(document), records_(records) {}

  error::Result<Metadata> run() && {
    for (;;) {
      const error::Expected<XmlEvent, XmlError> event = reader_.next();
      const Step step = std::visit([&](auto& state) { return on_event(state, event); }, state_);
      if (step == Step::finished) break;
    }
    if (mismatch_cause_) return std::unexpected(error::SchemaMismatch{std::move(*mismatch_cause_)});
    if (!module_info_) return std::unexpected(error::NoModuleInfoNode{});
    return Metadata{std::move(dependencies_), std::move(*module_info_)};
  }

 private:
  enum class Step { read_on, finished };

  Step on_event(Scanning&, const error::Expected<XmlEvent, XmlError>& event) {
    if (!event) return fail(event.error().message());
    switch (event->kind) {
      case XmlEventKind::start_tag:
        return event->content == "node" ? enter_node(event->attributes) : Step::read_on;
      case XmlEventKind::end_of_input:
        return Step::finished;
      case XmlEventKind::empty_element_tag:
      case XmlEventKind::end_tag:
      case XmlEventKind::text:
      case XmlEventKind::cdata:
      case XmlEventKind::comment:
      case XmlEventKind::declaration:
      case XmlEventKind::doctype:
        return Step::read_on;
    }
    std::abort();  // every kind returns above
  }

  // Inside a node the reader's own error text is dropped for the node's failure.
  template <class Record>
  Step on_event(ReadingNode<Record>& node, const error::Expected<XmlEvent, XmlError>& event) {
    if (!event) return fail(node_failure(node));
    switch (event->kind) {
      case XmlEventKind::end_tag:
        if (event->content == "node") complete_node();
        return Step::read_on;
      case XmlEventKind::end_of_input:
        // A node that the input ends in keeps what it read.
        complete_node();
        return Step::finished;
      case XmlEventKind::empty_element_tag:
        if (event->content == "attribute" &&
            !assign_field(node.record, event->attributes, field_buffers_)) {
          return fail(node_failure(node));
        }
        return Step::read_on;
      case XmlEventKind::start_tag:
      case XmlEventKind::text:
      case XmlEventKind::cdata:
      case XmlEventKind::comment:
      case XmlEventKind::declaration:
      case XmlEventKind::doctype:
        return Step::read_on;
    }
    std::abort();  // every kind returns above
  }

  Step enter_node(XmlAttributeList attributes) {
    error::Expected<State, std::string> next = state_for_node(attributes, field_buffers_.id);
    if (!next) return fail(std::move(next.error()));
    state_ = std::move(*next);
    return Step::read_on;
  }

  Step fail(std::string cause) {
    mismatch_cause_ = std::move(cause);
    return Step::finished;
  }

  void complete_node() {
    if (auto* node = std::get_if<ReadingNode<ModuleInfo>>(&state_)) {
      module_info_ = std::move(node->record);
    } else if (auto* dependency = std::get_if<ReadingNode<ModuleShortDesc>>(&state_)) {
      if (records_ == DependencyRecords::keep) dependencies_.push_back(std::move(dependency->record));
    }
    state_ = Scanning{};
  }

  XmlReader reader_;
  DependencyRecords records_;
  FieldBuffers field_buffers_;
  State state_;
  std::vector<ModuleShortDesc> dependencies_;
  std::optional<ModuleInfo> module_info_;  // the last complete one
  std::optional<std::string> mismatch_cause_;
};

}  // namespace

error::Result<Metadata> Metadata::parse(std::string_view document, DependencyRecords records) {
  return MetadataParser(document, records).run();
}

}  // namespace quellan::tarn::pak
