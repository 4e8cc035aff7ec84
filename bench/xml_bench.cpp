// Measures the metadata XML reader on the first description of a package, beside
// expat with handlers that do nothing, the conforming reader it replaced:
//
//   quellan_xml_bench time PATH      MB/s of each reader, median of timed rounds
//   quellan_xml_bench READER PATH    one reading, for callgrind (see scripts/bench)
//
// READER is reader (every event, every attribute, every value unescaped), parse
// (Metadata::parse, dependency records kept) or expat. Under callgrind, collect
// only inside `read_once` to count the reading's instructions alone.

#include <expat.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/table.h"
#include "round_timer.h"
#include "tarn/pak/metadata.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::bench {

namespace {

volatile std::size_t sink = 0;

std::optional<common::ByteBuffer> first_description(const std::string& path) {
  auto reader = raw::voka::read::open_pak_skipping_header(path);
  if (!reader) return std::nullopt;
  auto table = raw::voka::read::table::Table::read_from(*reader);
  if (!table) return std::nullopt;
  for (auto entry : table->meta_entries()) {
    if (!entry) return std::nullopt;
    auto file = std::move(*entry).decompress_file(*reader, raw::voka::ExtractionAllowance{});
    if (!file) return std::nullopt;
    return std::move(file->data);
  }
  return std::nullopt;
}

std::size_t read_with_our_reader(common::PaddedBytes document) {
  using namespace tarn::pak;
  std::size_t values = 0;
  std::string buffer;
  XmlReader reader(document);
  for (auto event = reader.next(); event && event->kind != XmlEventKind::end_of_input;
       event = reader.next()) {
    if (event->kind != XmlEventKind::start_tag && event->kind != XmlEventKind::empty_element_tag) {
      continue;
    }
    XmlAttributeCursor cursor(event->attributes);
    for (auto attribute = cursor.next(); attribute && *attribute; attribute = cursor.next()) {
      values += unescape(**attribute, buffer).has_value();
    }
  }
  return values;
}

std::size_t parse_metadata(common::PaddedBytes document) {
  auto metadata = tarn::pak::Metadata::parse(document);
  return metadata ? metadata->dependencies.size() : 0;
}

struct ParserFree {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};

void XMLCALL ignore_start(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL ignore_end(void*, const XML_Char*) {}

std::size_t read_with_expat(common::PaddedBytes padded) {
  const std::string_view document = padded.view();
  std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree> parser(XML_ParserCreate("UTF-8"));
  XML_SetElementHandler(parser.get(), ignore_start, ignore_end);
  return XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()), XML_TRUE);
}

using Reading = std::size_t (*)(common::PaddedBytes);

std::optional<Reading> reading_named(std::string_view name) {
  if (name == "reader") return read_with_our_reader;
  if (name == "parse") return parse_metadata;
  if (name == "expat") return read_with_expat;
  return std::nullopt;
}

[[gnu::noinline]] void read_once(Reading reading, common::PaddedBytes document) {
  sink = sink + reading(document);
}

void print_throughput(common::PaddedBytes document) {
  for (const char* name : {"reader", "parse", "expat"}) {
    const Reading reading = *reading_named(name);
    const double microseconds = median_microseconds([&] { read_once(reading, document); }, {});
    std::printf("%s %.1f MB/s\n", name, static_cast<double>(document.view().size()) / microseconds);
  }
}

}  // namespace

}  // namespace quellan::bench

int main(int argc, char** argv) {
  using namespace quellan::bench;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s time|reader|parse|expat PACKAGE\n", argv[0]);
    return 2;
  }
  const std::optional<quellan::common::ByteBuffer> document = first_description(argv[2]);
  if (!document || document->size() > INT_MAX) {
    std::fprintf(stderr, "%s: no readable description\n", argv[2]);
    return 1;
  }
  const std::string_view mode = argv[1];
  std::printf("document %zu bytes\n", document->size());
  if (mode == "time") {
    print_throughput(*document);
    return 0;
  }
  const std::optional<Reading> reading = reading_named(mode);
  if (!reading) return 2;
  read_once(*reading, *document);
  return 0;
}
