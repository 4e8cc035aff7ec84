#pragma once

#include <cstddef>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "common/lz4_block.h"
#include "error/error.h"
#include "memory_file.h"
#include "raw/voka/entry_details.h"
#include "raw/voka/read/mod_info.h"
#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/override.h"
#include "raw/voka/read/package_reader.h"
#include "raw/voka/read/table/table.h"
#include "tarn/pak/metadata.h"

namespace quellan::fuzz {

namespace package_input_detail {

using raw::voka::EntryDetails;
using raw::voka::read::PackageReader;

/// What one way of doing a step gave: the bytes it produced, or its message.
using Outcome = std::expected<std::string, std::string>;

/// Runs one package file through everything a caller of the library can reach,
/// and through a second walk that does the metadata lookup's steps itself, so
/// that the two can be compared. Descriptions are parsed as the Python functions
/// parse them, without keeping dependency records: what a package costs there is
/// what the fuzzer's memory limits watch (the metadata_parse target compares the
/// two ways of parsing).
class PackageCheck {
 public:
  explicit PackageCheck(std::string path) : path_(std::move(path)) {}

  std::optional<std::string> run() && {
    auto descriptions = raw::voka::read::get_mod_info_from_pak(path_, RECORDS);
    const auto walked = walk_descriptions();
    if (descriptions) {
      if (walked != descriptions->size()) note("the lookup and the step-by-step walk disagree");
    } else if (walked != std::unexpected(message_of(descriptions.error()))) {
      note("the lookup failed otherwise than the step-by-step walk");
    }
    // The binding drops these errors unread; rendering them covers the messages
    // that only the override test raises.
    if (auto answer = raw::voka::read::is_override(path_); !answer) message_of(answer.error());
    return std::move(violation_);
  }

 private:
  static constexpr tarn::pak::DependencyRecords RECORDS = tarn::pak::DependencyRecords::drop;

  // The steps of the metadata lookup, one by one: the number of descriptions
  // parsed, or the message of the first failure.
  std::expected<std::size_t, std::string> walk_descriptions() {
    auto reader = raw::voka::read::open_pak_skipping_header(path_);
    if (!reader) return std::unexpected(message_of(reader.error()));
    auto table = raw::voka::read::table::Table::read_from(*reader);
    if (!table) return std::unexpected(message_of(table.error()));
    // The records of the whole table first, decoded by the check and into a
    // buffer: the lookup must fail as the table does before any record fails.
    auto records = decode_whole_table(*table, *reader);
    if (!records) return std::unexpected(records.error());
    std::size_t parsed = 0;
    raw::voka::ExtractionAllowance allowance;
    for (std::size_t at = 0; at < records->size(); at += raw::voka::read::table::TABLE_RECORD_SIZE) {
      const raw::voka::read::table::Record record(records->data() + at);
      if (!record.has_meta_entry_name()) continue;
      auto entry = record.entry_details();
      if (!entry) return std::unexpected(message_of(entry.error()));
      Outcome contents = extract_twice(*entry, *reader, allowance);
      if (!contents) return std::unexpected(contents.error());
      allowance.spend(entry->size_on_disk, contents->size());
      auto metadata = tarn::pak::Metadata::parse(common::ByteBuffer::copy_of(*contents).value(), RECORDS);
      if (!metadata) return std::unexpected(message_of(metadata.error()));
      ++parsed;
    }
    return parsed;
  }

  // The stored block of `table`, read whole through a reader of its own.
  std::optional<common::ByteBuffer> whole_block(const raw::voka::read::table::Table& table) {
    auto reader = PackageReader::open(path_);
    if (!reader || !reader->seek_absolute(table.block_start())) return std::nullopt;
    auto block = reader->read_to_new_buffer(table.block_size());
    if (!block) return std::nullopt;
    return std::move(*block);
  }

  // The decoded records of `table`, by the whole-block forms of the decoder: the
  // check gives the size, the buffer the bytes. The walk, which reads the block
  // in pieces through `reader`, must hand out the same records and fail the
  // same way.
  std::expected<std::string, std::string> decode_whole_table(const raw::voka::read::table::Table& table,
                                                             PackageReader& reader) {
    using raw::voka::read::table::TABLE_RECORD_SIZE;
    using raw::voka::read::table::Table;
    auto failure = [&](error::Lz4Error cause) { return std::unexpected(message_of(error::TablePathsDecompress{cause})); };
    const std::optional<common::ByteBuffer> block = whole_block(table);
    if (!block) {
      note("the stored table could not be read whole");
      return std::unexpected(std::string("unreadable table"));
    }
    std::expected<std::string, std::string> records;
    if (auto produced = common::check_lz4_block(block->view(), table.records_size()); !produced) {
      records = failure(produced.error());
    } else if (*produced != table.records_size()) {
      records = failure(error::Lz4Error::short_output(*produced, table.records_size()));
    } else if (table.number_of_files() > Table::MAX_WALKED_RECORDS) {
      records = failure(error::Lz4Error::too_many_records(table.number_of_files(), Table::MAX_WALKED_RECORDS));
    } else {
      records = std::string(static_cast<std::size_t>(*produced), '\0');
      const auto decoded = common::decode_lz4_block(block->view(), *records);
      if (!decoded || *decoded != *produced) note("the check and the buffer disagree");
    }
    auto walk = table.walk(reader);
    if (!walk) return std::unexpected(message_of(walk.error()));
    std::size_t at = 0;
    bool differs = false;
    using raw::voka::read::table::Step;
    auto walked = walk->for_each(raw::voka::read::table::Rest::check, [&](auto record) {
      // A table that does not decode may hand out records before its failure.
      differs = records && records->compare(at, TABLE_RECORD_SIZE, record.bytes(), TABLE_RECORD_SIZE) != 0;
      at += TABLE_RECORD_SIZE;
      return differs ? Step::stop : Step::next;
    });
    if (differs) {
      note("the walk hands out other records than the decoder");
    } else if (!walked) {
      if (records || records.error() != message_of(walked.error())) note("the walk fails otherwise than the decoder");
    } else if (!records || at != records->size()) {
      note("the walk ends otherwise than the decoder");
    }
    return records;
  }

  // Extraction must not depend on what the reader did before: the reader that
  // just read the table (and earlier entries) and a freshly opened one agree.
  Outcome extract_twice(const EntryDetails& entry, PackageReader& used_reader,
                        raw::voka::ExtractionAllowance limit) {
    Outcome through_used = extract(entry, used_reader, limit);
    auto fresh_reader = PackageReader::open(path_);
    if (!fresh_reader) {
      note("the package could not be opened a second time");
    } else if (extract(entry, *fresh_reader, limit) != through_used) {
      note("extraction depends on where the reader stood before");
    }
    return through_used;
  }

  Outcome extract(EntryDetails entry, PackageReader& reader, raw::voka::ExtractionAllowance limit) {
    const EntryDetails declared = entry;
    auto file = std::move(entry).decompress_file(reader, limit);
    if (!file) return std::unexpected(message_of(file.error()));
    if (!has_promised_length(declared, file->data.size()) || file->data.size() > limit.contents) {
      note("extracted contents of a length not promised");
    }
    return std::string(file->data.view());
  }

  // Stored bytes come back whole; zlib fills the declared size exactly; an LZ4
  // block may produce less than declared, never more.
  static bool has_promised_length(const EntryDetails& entry, std::size_t length) {
    if (entry.compression == raw::voka::CompressionKind::None || entry.uncompressed_size == 0) {
      return length == entry.size_on_disk;
    }
    if (entry.compression == raw::voka::CompressionKind::Zlib) return length == entry.uncompressed_size;
    return length <= entry.uncompressed_size;
  }

  // Rendering is part of what a caller reaches, and every failure must say something.
  std::string message_of(const error::Error& error) {
    std::string message = error.message();
    if (message.empty()) note("a failure without a message");
    return message;
  }

  void note(std::string_view what) {
    if (!violation_) violation_ = std::string(what);
  }

  std::string path_;
  std::optional<std::string> violation_;
};

}  // namespace package_input_detail

/// Writes `bytes` to a memory file and reads it as a package by every way the
/// library offers: the metadata lookup, the override test, and the lookup's steps
/// done one by one with each description extracted twice. Returns what broken
/// promise was seen, if any; crashes, leaks and undefined behaviour are for the
/// sanitizers to catch.
inline std::optional<std::string> read_package_input(std::string_view bytes) {
  MemoryFile file(bytes);
  return package_input_detail::PackageCheck(file.path()).run();
}

}  // namespace quellan::fuzz
