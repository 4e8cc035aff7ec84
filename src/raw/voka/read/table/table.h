#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "common/byte_buffer.h"
#include "common/lz4_block.h"
#include "error/error.h"
#include "raw/voka/read/package_reader.h"
#include "raw/voka/read/table/record.h"

namespace quellan::raw::voka::read::table {

/// A walk over a table's records in order, decoding its block as it goes: what
/// it holds is the window of the decoder, whatever the number of records.
class RecordWalk {
 public:
  /// The next record, valid until the walk moves on; none once every record has
  /// been handed out and the block has ended on exactly them. Fails with
  /// `TablePathsDecompress` when the block does not decode or decodes short,
  /// so a caller that keeps its own failures until the end lets these come first.
  error::Result<std::optional<Record>> next() {
    // Inline for the common case of a record already decoded: a walk calls
    // this once per record, a piece holds thousands.
    if (piece_.size() < TABLE_RECORD_SIZE) return next_from_new_piece();
    const Record record(piece_.data());
    piece_.remove_prefix(TABLE_RECORD_SIZE);
    return record;
  }

  /// After a stop before the end: that the rest of the block decodes, to exactly
  /// the records declared, checked without writing it out.
  error::Result<void> check_rest();

 private:
  friend class Table;
  RecordWalk(common::Lz4BlockStream stream, std::uint64_t records_size)
      : stream_(std::move(stream)), records_size_(records_size) {}

  error::Result<void> check_length(std::uint64_t produced) const;
  error::Result<std::optional<Record>> next_from_new_piece();

  common::Lz4BlockStream stream_;
  std::uint64_t records_size_;
  std::string_view piece_;  // the decoded records not yet handed out
};

/// The file table of a package, as it is stored: the number of records and the
/// compressed block. Its records are read by walking it, as often as needed.
class Table {
 public:
  /// Records decoded per piece of a walk, just under 2 MiB: a table of up to
  /// 7,710 records, the common case, decodes in one piece into a window of its
  /// own size, and a larger one moves the decoder's 64 KiB of history once per
  /// 2 MiB, about 3 % more copying, with a window that stays well below the
  /// call's memory budget.
  static constexpr std::size_t RECORDS_PER_PIECE = 7710;

  /// Reads the table at the reader's position and leaves the reader after it.
  /// Nothing is decoded yet.
  static error::Result<Table> read_from(PackageReader& reader);

  std::uint32_t number_of_files() const { return number_of_files_; }
  /// The bytes the records decode to: 272 per record.
  std::uint64_t records_size() const { return std::uint64_t{number_of_files_} * TABLE_RECORD_SIZE; }
  /// The compressed block as stored.
  std::string_view compressed() const { return compressed_.view(); }

  /// A walk from the first record. It must not outlive the table.
  error::Result<RecordWalk> walk() const;

 private:
  Table(common::ByteBuffer compressed, std::uint32_t number_of_files)
      : compressed_(std::move(compressed)), number_of_files_(number_of_files) {}

  common::ByteBuffer compressed_;
  std::uint32_t number_of_files_;
};

}  // namespace quellan::raw::voka::read::table
