#include "raw/voka/read/table/table.h"

#include <algorithm>

namespace quellan::raw::voka::read::table {

namespace {

constexpr const char* STORED_BLOCK = ".pak compressed table";

}  // namespace

std::size_t StoredBlock::fill(std::span<char> out) {
  if (reader_.position() != next_) {
    if (auto seek = reader_.seek_absolute(next_); !seek) {
      failure_ = seek.error();
      return 0;
    }
  }
  if (auto read = reader_.read_exact(out); !read) {
    failure_ = read.error();
    return 0;
  }
  next_ += out.size();
  return out.size();
}

error::Result<Table> Table::read_from(PackageReader& reader) {
  auto number_of_files = reader.read_little_endian<std::uint32_t>();
  if (!number_of_files) {
    return std::unexpected(error::Error::read_io(".pak number of files contained files", number_of_files.error()));
  }
  auto block_size = reader.read_little_endian<std::uint32_t>();
  if (!block_size) {
    return std::unexpected(error::Error::read_io(".pak number of bytes in table", block_size.error()));
  }
  // The block is read as walks reach it, but a file that cannot hold it fails
  // now, before any of it decodes: a cut table is an I/O failure whatever its
  // first bytes hold.
  if (!reader.holds(*block_size)) {
    return std::unexpected(error::Error::read_io(STORED_BLOCK, error::IoError::unexpected_eof()));
  }
  return Table(*number_of_files, reader.position(), *block_size);
}

error::Result<RecordWalk> Table::walk(PackageReader& reader) const {
  auto block = std::make_unique<StoredBlock>(reader, block_start_);
  auto stream = common::Lz4BlockStream::open(*block, block_size_, STORED_PIECE_SIZE, records_size(),
                                             RECORDS_PER_PIECE * TABLE_RECORD_SIZE);
  if (!stream) return std::unexpected(error::Error(error::TablePathsDecompress{stream.error()}));
  return RecordWalk(std::move(block), std::move(*stream), records_size());
}

RecordWalk::RecordWalk(std::unique_ptr<StoredBlock> block, common::Lz4BlockStream stream,
                       std::uint64_t records_size)
    : block_(std::move(block)),
      stream_(std::move(stream)),
      records_size_(records_size),
      walk_limit_(std::min(records_size, Table::MAX_WALKED_RECORDS * TABLE_RECORD_SIZE)) {}

error::Error RecordWalk::failure(error::Lz4Error cause) const {
  // A block cut short by its read decodes to nonsense: the read failed first.
  if (block_->failure()) return error::Error::read_io(STORED_BLOCK, *block_->failure());
  return error::TablePathsDecompress{cause};
}

error::Result<void> RecordWalk::check_length(std::uint64_t produced) const {
  // A short table would leave its last records undefined; refuse it whole. A
  // block whose read failed may end well where it was cut, but is no table.
  if (produced != records_size_ || block_->failure()) {
    return std::unexpected(failure(error::Lz4Error::short_output(produced, records_size_)));
  }
  return {};
}

error::Result<bool> RecordWalk::decode_piece() {
  // Every piece but the last is a whole number of records; bytes of a partial
  // record at the end are never handed out, and the length check refuses them.
  while (piece_.size() < TABLE_RECORD_SIZE) {
    if (walked_size_ == walk_limit_ && walk_limit_ < records_size_) return std::unexpected(past_the_limit());
    if (stream_.ended()) {
      if (auto whole = check_length(stream_.produced()); !whole) return std::unexpected(std::move(whole.error()));
      return false;
    }
    auto piece = stream_.next();
    if (!piece) return std::unexpected(failure(piece.error()));
    // The limit is a whole number of records, so a piece cut there still is.
    piece_ = piece->substr(0, walk_limit_ - walked_size_);
    walked_size_ += piece_.size();
  }
  return true;
}

error::Error RecordWalk::past_the_limit() {
  if (auto rest = check_rest(); !rest) return std::move(rest.error());
  return failure(error::Lz4Error::too_many_records(records_size_ / TABLE_RECORD_SIZE, Table::MAX_WALKED_RECORDS));
}

error::Result<void> RecordWalk::check_rest() {
  auto produced = stream_.check_rest();
  if (!produced) return std::unexpected(failure(produced.error()));
  return check_length(*produced);
}

}  // namespace quellan::raw::voka::read::table
