#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/lz4_block.h"
#include "error/error.h"
#include "error/io_error.h"
#include "raw/voka/read/package_reader.h"
#include "raw/voka/read/table/record.h"

namespace quellan::raw::voka::read::table {

/// The stored block of a table, read from the package as a walk reaches it.
/// The reader may have moved in between (a description read in the middle of a
/// walk), so each piece is read from where the one before ended.
class StoredBlock final : public common::Lz4BlockSource {
 public:
  StoredBlock(PackageReader& reader, std::uint64_t start) : reader_(reader), next_(start) {}

  std::size_t fill(std::span<char> out) override;

  /// Why the block ended before its declared size, if it did.
  const std::optional<error::IoError>& failure() const { return failure_; }

 private:
  PackageReader& reader_;
  std::uint64_t next_;
  std::optional<error::IoError> failure_;
};

/// What a walk's visitor asks of it after a record. A visitor that fails stops
/// the walk and keeps its failure, which the walk's own then come before.
enum class Step { next, stop };

/// What a walk that stops before the end makes of the records it did not hand
/// out.
enum class Rest {
  check,  // the rest of the block must decode, to exactly the records declared
  skip,   // an earlier walk checked the whole table: the rest is not decoded
};

/// A walk over a table's records in order, decoding its block as it goes: what
/// it holds is the window of the decoder and one piece of the stored block,
/// whatever the number of records. It fails with `TablePathsDecompress` when
/// the block does not decode, decodes short, or holds more than
/// `MAX_WALKED_RECORDS` records.
class RecordWalk {
 public:
  /// Calls `visit(record)`, which gives a `Step`, on each record in order until
  /// it stops or the records end; each record is valid until the walk moves on.
  /// A walk is a single pass, so `for_each` is called once. Stopping is the one
  /// way to leave a walk early, and `rest` says what becomes of what is left.
  template <class Visit>
  error::Result<void> for_each(Rest rest, Visit visit) {
    for (;;) {
      // A piece holds thousands of records: most steps take the next at once.
      if (piece_.size() < TABLE_RECORD_SIZE) {
        auto decoded = decode_piece();
        if (!decoded) return std::unexpected(std::move(decoded.error()));
        if (!*decoded) return {};
      }
      const Record record(piece_.data());
      piece_.remove_prefix(TABLE_RECORD_SIZE);
      if (visit(record) == Step::stop) return rest == Rest::check ? check_rest() : error::Result<void>();
    }
  }

 private:
  friend class Table;
  RecordWalk(std::unique_ptr<StoredBlock> block, common::Lz4BlockStream stream, std::uint64_t records_size);

  /// Decodes the next piece, if any: whether a record is there to hand out.
  error::Result<bool> decode_piece();
  error::Error failure(error::Lz4Error cause) const;
  error::Result<void> check_length(std::uint64_t produced) const;
  /// That the rest of the block decodes, to exactly the records declared,
  /// checked without writing it out.
  error::Result<void> check_rest();
  /// The failure that ends a walk at the limit: the block's own, if the rest of
  /// it does not decode to exactly the records declared, else the limit's.
  error::Error past_the_limit();

  std::unique_ptr<StoredBlock> block_;  // the stream reads through it, so it stays put
  common::Lz4BlockStream stream_;
  std::uint64_t records_size_;
  std::uint64_t walked_size_ = 0;  // of the records decoded into pieces, within the limit
  std::uint64_t walk_limit_;       // the records, in bytes, that a walk hands out at most
  std::string_view piece_;         // the decoded records not yet handed out
};

/// The file table of a package as it is stored: the number of records and where
/// its compressed block lies. Its records are read by walking it, as often as
/// needed, through the reader of the package.
class Table {
 public:
  /// The most records a walk hands out, about 1.06 GiB of them: a game's largest
  /// packages hold a few hundred thousand files, a mod's far fewer, while a
  /// block of a few MB can expand to billions of records, each of which a walk
  /// would otherwise classify. A walk that reaches the next record fails.
  static constexpr std::uint64_t MAX_WALKED_RECORDS = std::uint64_t{1} << 22;

  /// Records decoded per piece of a walk, just under 2 MiB: a table of up to
  /// 7,710 records, the common case, decodes in one piece into a window of its
  /// own size, and a larger one moves the decoder's 64 KiB of history once per
  /// 2 MiB, with a window that stays well below the call's memory budget.
  static constexpr std::size_t RECORDS_PER_PIECE = 7710;

  /// Bytes of the stored block read at a time. Tables compress to a fifth of
  /// their records or less, so one piece feeds the decoder at least 320 KiB of
  /// records per read.
  static constexpr std::size_t STORED_PIECE_SIZE = std::size_t{64} << 10;

  /// Reads the table's sizes at the reader's position and leaves the reader at
  /// the compressed block. Nothing of the block is read yet, but a file too
  /// short to hold it fails here, as its read would.
  static error::Result<Table> read_from(PackageReader& reader);

  std::uint32_t number_of_files() const { return number_of_files_; }
  /// The bytes the records decode to: 272 per record.
  std::uint64_t records_size() const { return std::uint64_t{number_of_files_} * TABLE_RECORD_SIZE; }
  /// Where the compressed block lies in the package, and its size.
  std::uint64_t block_start() const { return block_start_; }
  std::uint32_t block_size() const { return block_size_; }

  /// A walk from the first record, reading the block through `reader`, which
  /// may serve other reads between its pieces. It must not outlive the reader.
  error::Result<RecordWalk> walk(PackageReader& reader) const;

 private:
  Table(std::uint32_t number_of_files, std::uint64_t block_start, std::uint32_t block_size)
      : number_of_files_(number_of_files), block_start_(block_start), block_size_(block_size) {}

  std::uint32_t number_of_files_;
  std::uint64_t block_start_;
  std::uint32_t block_size_;
};

}  // namespace quellan::raw::voka::read::table
