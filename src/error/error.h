#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "error/expected.h"
#include "error/io_error.h"
#include "error/lz4_error.h"

namespace quellan::error {

/// A file could not be opened, read or seeked; `context` names what was being done.
struct Io {
  std::string context;
  IoError cause;
};
/// The package does not start with the expected magic.
struct InvalidMagic {
  std::array<std::uint8_t, 4> found;
  std::array<std::uint8_t, 4> expected;
};
/// The package declares a format version older than the one supported.
struct UnsupportedVersion {};
/// The compressed file table does not decode.
struct TablePathsDecompress {
  Lz4Error cause;
};
/// An entry's flags name a compression method that does not exist.
struct UnknownCompression {
  std::uint32_t method;
  std::string context;
};
/// An LZ4-stored file does not decode.
struct Lz4Decompress {
  std::string what;
  std::uint64_t compressed_length;
  std::uint64_t decompressed_length;
  Lz4Error cause;
};
/// A zlib-stored file does not inflate to its declared size.
struct DecompressIo {
  std::string path;
  IoError cause;
};
/// The entry is zstd-compressed, which this library does not decode.
struct ZstdUnsupported {};
/// The metadata document is not what the schema expects; `cause` says why.
struct SchemaMismatch {
  std::string cause;
};
/// The metadata document holds no module description.
struct NoModuleInfoNode {};

/// The library's one error type: a closed set of variants, each shown as exactly
/// one line of text by `message`. An error is built one way only, by naming its
/// variant with every field, `Io{"seeking to .pak footer offset", cause}`, which
/// converts to `Error`; the one exception is an `Io` error of a failed read, built
/// by `read_io` alone, so that every read context has the same form.
class Error {
 public:
  using Variant = std::variant<Io, InvalidMagic, UnsupportedVersion, TablePathsDecompress,
                               UnknownCompression, Lz4Decompress, DecompressIo,
                               ZstdUnsupported, SchemaMismatch, NoModuleInfoNode>;

  template <class Kind>
    requires std::is_constructible_v<Variant, Kind&&>
  Error(Kind&& kind) : variant_(std::forward<Kind>(kind)) {}  // NOLINT: implicit by design

  /// The `Io` error of a failed read of `what`: its context is "reading {what}".
  static Error read_io(std::string what, IoError cause);

  /// The one-line text users see.
  std::string message() const;

 private:
  Variant variant_;
};

/// The value of a fallible operation, or its `Error`; it cannot be dropped.
template <class T>
using Result = Expected<T, Error>;

}  // namespace quellan::error
