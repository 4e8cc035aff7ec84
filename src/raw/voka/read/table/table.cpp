#include "raw/voka/read/table/table.h"

namespace quellan::raw::voka::read::table {

namespace {

error::Error table_failure(error::Lz4Error cause) { return error::TablePathsDecompress{cause}; }

}  // namespace

error::Result<Table> Table::read_from(PackageReader& reader) {
  auto number_of_files = reader.read_little_endian<std::uint32_t>();
  if (!number_of_files) {
    return std::unexpected(error::Error::read_io(".pak number of files contained files", number_of_files.error()));
  }
  auto compressed_size = reader.read_little_endian<std::uint32_t>();
  if (!compressed_size) {
    return std::unexpected(error::Error::read_io(".pak number of bytes in table", compressed_size.error()));
  }
  auto compressed = reader.read_to_new_buffer(*compressed_size);
  if (!compressed) return std::unexpected(error::Error::read_io(".pak compressed table", compressed.error()));
  return Table(std::move(*compressed), *number_of_files);
}

error::Result<RecordWalk> Table::walk() const {
  auto stream =
      common::Lz4BlockStream::open(compressed_.view(), records_size(), RECORDS_PER_PIECE * TABLE_RECORD_SIZE);
  if (!stream) return std::unexpected(table_failure(stream.error()));
  return RecordWalk(std::move(*stream), records_size());
}

error::Result<void> RecordWalk::check_length(std::uint64_t produced) const {
  // A short table would leave its last records undefined; refuse it whole.
  if (produced != records_size_) {
    return std::unexpected(table_failure(error::Lz4Error::short_output(produced, records_size_)));
  }
  return {};
}

error::Result<std::optional<Record>> RecordWalk::next_from_new_piece() {
  // Every piece but the last is a whole number of records; bytes of a partial
  // record at the end are never handed out, and the length check refuses them.
  while (piece_.size() < TABLE_RECORD_SIZE) {
    if (stream_.ended()) {
      if (auto whole = check_length(stream_.produced()); !whole) return std::unexpected(std::move(whole.error()));
      return std::nullopt;
    }
    auto piece = stream_.next();
    if (!piece) return std::unexpected(table_failure(piece.error()));
    piece_ = *piece;
  }
  return next();
}

error::Result<void> RecordWalk::check_rest() {
  auto produced = stream_.check_rest();
  if (!produced) return std::unexpected(table_failure(produced.error()));
  return check_length(*produced);
}

}  // namespace quellan::raw::voka::read::table
