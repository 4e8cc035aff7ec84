// Measures the metadata XML reader on the first description of a package, beside
// expat with handlers that do nothing, the conforming reader it replaced:
//
//   quellan_xml_bench time PATH      MB/s of each reader, median of timed rounds
//   quellan_xml_bench READER PATH    one reading, for callgrind (see scripts/bench)
//   quellan_xml_bench hostile        ms that Metadata::parse takes on each of the
//                                    costliest kinds of 16 MiB document
//   quellan_xml_bench hostile NAME   one parse of the hostile document NAME, for
//                                    callgrind
//
// READER is reader (every event, every attribute, every value unescaped), parse
// (Metadata::parse, dependency records kept) or expat. Under callgrind, collect
// only inside `read_once` to count the reading's instructions alone.

#include <expat.h>

#include <climits>
#include <cstdio>
#include <memory>
#include <algorithm>
#include <optional>
#include <random>
#include <vector>
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
  auto walk = table->walk(*reader);
  if (!walk) return std::nullopt;
  std::optional<common::ByteBuffer> found;
  using raw::voka::read::table::Step;
  auto walked = walk->for_each(raw::voka::read::table::Rest::skip, [&](auto record) {
    if (!record.has_meta_entry_name()) return Step::next;
    auto entry = record.entry_details();
    if (entry) {
      auto file = std::move(*entry).decompress_file(*reader, raw::voka::ExtractionAllowance{});
      if (file) found = std::move(file->data);
    }
    return Step::stop;
  });
  return walked ? std::move(found) : std::nullopt;
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

constexpr std::size_t HOSTILE_SIZE = std::size_t{16} << 20;

/// `tag` with distinct keys `a0` up, shuffled when `shuffled`, then `ending`: about
/// a million attributes for 16 MiB. Inside a ModuleInfo node when `in_node`.
std::string many_attributes(std::string_view tag, bool shuffled, std::string_view ending, bool in_node) {
  std::vector<std::size_t> keys(HOSTILE_SIZE / 16);
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i] = i;
  if (shuffled) std::ranges::shuffle(keys, std::mt19937_64(7));
  std::string document = (in_node ? "<node id=\"ModuleInfo\">" : "") + std::string(tag);
  for (const std::size_t key : keys) document += " a" + std::to_string(key) + "=\"\"";
  return document + std::string(ending) + (in_node ? "</node>" : "<node id=\"ModuleInfo\"/>");
}

/// As `many_attributes`, with as many distinct keys of `key_bytes` bytes as
/// 16 MiB holds, in an order that changes every byte of the key. Key bytes are
/// any but white space, `=`, quotes and the bytes of markup.
std::string many_short_keys(std::string_view tag, std::size_t key_bytes, std::string_view ending, bool in_node) {
  std::string alphabet;
  for (int c = 33; c < 256; ++c) {
    const char byte = static_cast<char>(c);
    if (std::string_view("\"'<>/=&").find(byte) == std::string_view::npos) alphabet += byte;
  }
  std::string document = (in_node ? "<node id=\"ModuleInfo\">" : "") + std::string(tag);
  std::string key(key_bytes, ' ');
  for (std::size_t i = 0; document.size() + key_bytes + 4 + ending.size() + 30 <= HOSTILE_SIZE; ++i) {
    for (std::size_t b = 0, rest = i; b < key_bytes; ++b, rest /= alphabet.size()) {
      key[b] = alphabet[rest % alphabet.size()];
    }
    document += ' ' + key + "=\"\"";
  }
  return document + std::string(ending) + (in_node ? "</node>" : "<node id=\"ModuleInfo\"/>");
}

/// `unit` repeated to 16 MiB inside `before` and `after`.
std::string repeated(std::string_view before, std::string_view unit, std::string_view after) {
  std::string document(before);
  while (document.size() + unit.size() + after.size() <= HOSTILE_SIZE) document += unit;
  return document + std::string(after);
}

std::string deep_nesting() {
  const std::size_t depth = HOSTILE_SIZE / 8;
  std::string document = "<node id=\"ModuleInfo\">";
  for (std::size_t i = 0; i < depth; ++i) document += "<n>";
  for (std::size_t i = 0; i < depth; ++i) document += "</n>";
  return document + "</node>";
}

/// `unit` repeated to 16 MiB inside a ModuleInfo node.
std::string repeated_in_node(std::string_view unit) {
  return repeated("<node id=\"ModuleInfo\">", unit, "</node>");
}

using HostileDocuments = std::vector<std::pair<std::string, std::string>>;

HostileDocuments hostile_documents() {
  return {
      {"node tag, 1M keys in order", many_attributes("<node", false, ">", false)},
      {"node tag, 1M keys shuffled", many_attributes("<node", true, ">", false)},
      {"attribute tag, 1M keys in order", many_attributes("<attribute", false, "/>", true)},
      {"attribute tag, 1M keys shuffled", many_attributes("<attribute", true, "/>", true)},
      {"node tag, 2.4M 3-byte keys", many_short_keys("<node", 3, ">", false)},
      {"attribute tag, 2.4M 3-byte keys", many_short_keys("<attribute", 3, "/>", true)},
      {"node tag, 1M 12-byte keys", many_short_keys("<node", 12, ">", false)},
      {"17-key tags", repeated("<node id=\"ModuleInfo\">",
                               "<t a=\"\" b=\"\" c=\"\" d=\"\" e=\"\" f=\"\" g=\"\" h=\"\" i=\"\" j=\"\" k=\"\" l=\"\" m=\"\" "
                               "n=\"\" o=\"\" p=\"\" q=\"\"/>",
                               "</node>")},
      {"10-attribute tags", repeated("<node id=\"ModuleInfo\">",
                                     "<t a=\"\" b=\"\" c=\"\" d=\"\" e=\"\" f=\"\" g=\"\" h=\"\" i=\"\" j=\"\"/>",
                                     "</node>")},
      {"10-attribute fields", repeated("<node id=\"ModuleInfo\">",
                                       "<attribute a=\"\" b=\"\" c=\"\" d=\"\" e=\"\" f=\"\" g=\"\" h=\"\" id=\"Name\" value=\"\"/>",
                                       "</node>")},
      {"references in text", repeated("<save>", "&amp;", "</save>")},
      {"references in a value", repeated("<node id=\"ModuleInfo\"><attribute id=\"Name\" value=\"", "&amp;",
                                         "\"/></node>")},
      {"deep nesting", deep_nesting()},
      {"non-ASCII text", repeated_in_node("\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC ")},
      {"non-ASCII values", repeated_in_node("<attribute id=\"Name\" value=\"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\"/>")},
      {"comments", repeated_in_node("<!-- c -->")},
      {"processing instructions", repeated_in_node("<?p i?>")},
  };
}

void print_hostile_times() {
  for (const auto& [name, text] : hostile_documents()) {
    const std::optional<common::ByteBuffer> document = common::ByteBuffer::copy_of(text);
    if (!document) return;
    const double microseconds = median_microseconds([&] { read_once(parse_metadata, *document); }, {1, 5, 0});
    std::printf("%s: %.1f ms\n", name.c_str(), microseconds / 1000);
  }
}

/// One parse of the hostile document `name`, for callgrind; false if none has it.
bool parse_hostile_once(std::string_view name) {
  for (const auto& [document_name, text] : hostile_documents()) {
    if (document_name != name) continue;
    const std::optional<common::ByteBuffer> document = common::ByteBuffer::copy_of(text);
    if (!document) return false;
    std::printf("document %zu bytes\n", document->size());
    read_once(parse_metadata, *document);
    return true;
  }
  return false;
}

}  // namespace

}  // namespace quellan::bench

int main(int argc, char** argv) {
  using namespace quellan::bench;
  if (argc == 2 && std::string_view(argv[1]) == "hostile") {
    print_hostile_times();
    return 0;
  }
  if (argc == 3 && std::string_view(argv[1]) == "hostile") return parse_hostile_once(argv[2]) ? 0 : 2;
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s time|reader|parse|expat PACKAGE, or %s hostile [NAME]\n", argv[0], argv[0]);
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
