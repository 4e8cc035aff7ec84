#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "error/error.h"
#include "raw/voka/compression_kind.h"
#include "raw/voka/mod_file.h"

namespace quellan::raw::voka {

namespace read {
class PackageReader;
}

/// The most bytes a stored file may come out as, decompressed or stored as is.
/// Descriptions are a few kilobytes; without a limit, a package of a few MiB
/// could make a call hold gigabytes of output that it both declares and really
/// expands to.
inline constexpr std::uint32_t MAX_DECOMPRESSED_SIZE = std::uint32_t{16} << 20;

/// The most bytes of stored files one call may extract in total, whether they
/// come out as stored, inflated or LZ4-decoded, and the most stored bytes it may
/// read for them. Records are free to point at the same stored bytes, so without
/// this a package of a few KiB could have one call decompress and parse the same
/// 16 MiB a thousand times, or read the same padded stream as often.
inline constexpr std::size_t MAX_EXTRACTED_PER_CALL = std::size_t{4} * MAX_DECOMPRESSED_SIZE;

/// What every extraction costs the allowance at least, however small the file:
/// finding, reading and parsing it is work too. A package may hold any number of
/// description records, so this bounds how many one call extracts (65,536).
inline constexpr std::size_t MIN_EXTRACTION_COST = std::size_t{1} << 10;

/// What `bytes` read or produced by one extraction cost the allowance: at
/// least MIN_EXTRACTION_COST. The one rule for every extraction, made or spared.
constexpr std::size_t extraction_cost(std::size_t bytes) { return std::max(bytes, MIN_EXTRACTION_COST); }

/// What extractions may still read and produce: a call starts with the whole
/// allowance and spends each extraction's share. Stored bytes and contents are
/// counted apart, so that a zlib or LZ4 description that runs out of room fails
/// in its decoder's words, and a small stream padded to megabytes fails its read.
struct ExtractionAllowance {
  std::size_t stored = MAX_EXTRACTED_PER_CALL;
  std::size_t contents = MAX_EXTRACTED_PER_CALL;

  /// Takes off what one extraction read and produced, at their `extraction_cost`.
  /// The extraction held its stored bytes, so counted, to the allowance, and its
  /// contents to `most_contents`; only contents of no bytes at all (an LZ4 block
  /// may end at once) can cost more than is left, and take what is.
  void spend(std::size_t stored_bytes, std::size_t contents_bytes) {
    stored -= extraction_cost(stored_bytes);
    contents -= std::min(contents, extraction_cost(contents_bytes));
  }

  /// Whether an extraction that reads and produces these bytes fits.
  bool affords(std::size_t stored_bytes, std::size_t contents_bytes) const {
    return extraction_cost(stored_bytes) <= stored && extraction_cost(contents_bytes) <= contents;
  }

  /// The most contents an extraction may produce: none once even the least
  /// cost no longer fits, however few bytes it would come to.
  std::size_t most_contents() const {
    return contents < MIN_EXTRACTION_COST ? 0 : std::min<std::size_t>(contents, MAX_DECOMPRESSED_SIZE);
  }
};

/// One decoded record of the file table; it owns its name, so it outlives the
/// walk over the table that met it.
struct EntryDetails {
  std::string name;
  std::uint64_t offset = 0;  // at most 2^48 - 1
  std::uint32_t size_on_disk = 0;
  std::uint32_t uncompressed_size = 0;
  CompressionKind compression = CompressionKind::None;

  /// Extracts the stored file through `reader`, which may stand anywhere in the
  /// same package and is left after the stored bytes. Zstd is refused before any
  /// read; declared sizes are checked against what the file and the codec can
  /// produce before memory is set aside for them. The stored bytes may be as many
  /// as `allowance.stored`, the contents as `allowance.contents`, and
  /// MAX_DECOMPRESSED_SIZE at most; each counts as at least MIN_EXTRACTION_COST.
  /// Beyond that, the read of the stored bytes fails with `stored_limit` (when
  /// the file holds them at all; bytes used as stored are held to both limits),
  /// a zlib stream with `output_limit` and an LZ4 block as one too large for its
  /// room, before the excess is produced.
  error::Result<ModFile> decompress_file(read::PackageReader& reader, ExtractionAllowance allowance) &&;
};

}  // namespace quellan::raw::voka
