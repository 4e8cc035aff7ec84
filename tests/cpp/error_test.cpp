#include "error/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include "common/path_text.h"
#include "support/messages.h"

namespace quellan::error {
namespace {

// One error of a given variant and the line it must render.
template <class Kind>
struct Example {
  const char* name;
  Kind error;
  std::string message;
};

// The examples of each variant, one overload per variant: a variant added to
// Error without examples here leaves `every_example` without an overload to
// call, and this file no longer compiles.
std::vector<Example<Io>> examples_of(std::type_identity<Io>) {
  return {
      {"io_with_os_error", Io{"reading /no/such.pak", IoError::os(ENOENT)},
       "when reading /no/such.pak got No such file or directory (os error 2)"},
      {"io_seek_refused", Io{"seeking to .pak footer offset", IoError::os(EINVAL)},
       "when seeking to .pak footer offset got Invalid argument (os error 22)"},
      {"io_short_read", Io{"reading .pak format version", IoError::unexpected_eof()},
       "when reading .pak format version got failed to fill whole buffer"},
      {"io_nul_in_path", Io{"reading a\\0b", IoError::nul_in_path()},
       "when reading a\\0b got file name contained an unexpected NUL byte"},
  };
}

std::vector<Example<InvalidMagic>> examples_of(std::type_identity<InvalidMagic>) {
  return {
      {"invalid_magic", InvalidMagic{{65, 66, 67, 68}, {86, 79, 75, 65}},
       "found [65, 66, 67, 68] instead of [86, 79, 75, 65]"},
      {"invalid_magic_extreme_bytes", InvalidMagic{{0, 255, 10, 128}, {86, 79, 75, 65}},
       "found [0, 255, 10, 128] instead of [86, 79, 75, 65]"},
  };
}

std::vector<Example<UnsupportedVersion>> examples_of(std::type_identity<UnsupportedVersion>) {
  return {{"unsupported_version", UnsupportedVersion{},
           "the file indicated a version number that this tool does not support"}};
}

std::vector<Example<TablePathsDecompress>> examples_of(std::type_identity<TablePathsDecompress>) {
  return {
      {"table_too_small", TablePathsDecompress{Lz4Error::output_too_small(544, 600)},
       "tried to decompress path of table but got provided output is too small for the decompressed data, actual 544, "
       "expected 600"},
      {"table_literal_out_of_bounds", TablePathsDecompress{Lz4Error::literal_out_of_bounds()},
       "tried to decompress path of table but got literal is out of bounds of the input"},
      {"table_no_byte", TablePathsDecompress{Lz4Error::expected_another_byte()},
       "tried to decompress path of table but got expected another byte, found none"},
      {"table_zero_offset", TablePathsDecompress{Lz4Error::zero_offset()},
       "tried to decompress path of table but got 0 is not a valid match offset"},
      {"table_offset_outside", TablePathsDecompress{Lz4Error::offset_outside_output()},
       "tried to decompress path of table but got the offset to copy is not contained in the decompressed buffer"},
      {"table_out_of_memory", TablePathsDecompress{Lz4Error::out_of_memory(4096)},
       "tried to decompress path of table but got no memory for 4096 bytes of output"},
      {"table_short_block", TablePathsDecompress{Lz4Error::short_output(272, 544)},
       "tried to decompress path of table but got the block decompressed to 272 bytes but 544 were declared"},
      {"table_too_many_records", TablePathsDecompress{Lz4Error::too_many_records(4194305, 4194304)},
       "tried to decompress path of table but got the table holds 4194305 records, more than the 4194304 allowed"},
  };
}

std::vector<Example<UnknownCompression>> examples_of(std::type_identity<UnknownCompression>) {
  return {{"unknown_compression", UnknownCompression{5, ".pak compression flags for Mods/SomeMod/meta.kvt"},
           "unknown compression type specified with 5 found when .pak compression flags for "
           "Mods/SomeMod/meta.kvt"}};
}

std::vector<Example<Lz4Decompress>> examples_of(std::type_identity<Lz4Decompress>) {
  return {
      {"lz4_lengths_in_hex",
       Lz4Decompress{"file Mods/A/meta.kvt at offset 16", 4096, 16384, Lz4Error::expected_another_byte()},
       "tried to LZ4 decompress file Mods/A/meta.kvt at offset 16 with compressed_length 0x1000 "
       "and decompressed length 0x4000 but got expected another byte, found none"},
      {"lz4_zero_and_largest_lengths", Lz4Decompress{"file x at offset 0", 0, 0xFFFFFFFF, Lz4Error::expected_another_byte()},
       "tried to LZ4 decompress file x at offset 0 with compressed_length 0x0 and decompressed "
       "length 0xffffffff but got expected another byte, found none"},
  };
}

std::vector<Example<DecompressIo>> examples_of(std::type_identity<DecompressIo>) {
  return {
      {"decompress_io_corrupt", DecompressIo{"Mods/A/meta.kvt", IoError::corrupt_deflate()},
       "tried to decompress Mods/A/meta.kvt but got corrupt deflate stream"},
      {"decompress_io_short", DecompressIo{"Mods/A/meta.kvt", IoError::unexpected_eof()},
       "tried to decompress Mods/A/meta.kvt but got failed to fill whole buffer"},
      {"decompress_io_over_limit", DecompressIo{"Mods/A/meta.kvt", IoError::output_limit(16777216)},
       "tried to decompress Mods/A/meta.kvt but got the data decompresses to more than the 16777216 bytes "
       "allowed"},
      {"decompress_io_lossy_path",
       DecompressIo{common::pathbuf_from_bytes("Mods/\xFF/meta.kvt"), IoError::unexpected_eof()},
       "tried to decompress Mods/\xEF\xBF\xBD/meta.kvt but got failed to fill whole buffer"},
  };
}

std::vector<Example<ZstdUnsupported>> examples_of(std::type_identity<ZstdUnsupported>) {
  return {{"zstd_unsupported", ZstdUnsupported{}, "zstd-compressed data in .pak not currently supported"}};
}

std::vector<Example<SchemaMismatch>> examples_of(std::type_identity<SchemaMismatch>) {
  return {{"schema_mismatch", SchemaMismatch{"failed to parse ModuleInfo node"}, test_support::MODULE_INFO_FAILS}};
}

std::vector<Example<NoModuleInfoNode>> examples_of(std::type_identity<NoModuleInfoNode>) {
  return {{"no_module_info_node", NoModuleInfoNode{}, test_support::NO_MODULE_INFO}};
}

struct MessageCase {
  std::string name;
  Error error;
  std::string message;
};

// The examples of every variant of Error, in the order the variants are declared.
template <class... Kinds>
std::vector<MessageCase> every_example(std::type_identity<std::variant<Kinds...>>) {
  std::vector<MessageCase> cases;
  auto add = [&cases]<class Kind>(std::vector<Example<Kind>> examples) {
    for (Example<Kind>& example : examples) {
      cases.push_back({example.name, std::move(example.error), std::move(example.message)});
    }
  };
  (add(examples_of(std::type_identity<Kinds>{})), ...);
  return cases;
}

class ErrorMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ErrorMessage, RendersOneExactLine) { EXPECT_EQ(GetParam().error.message(), GetParam().message); }

INSTANTIATE_TEST_SUITE_P(EveryVariant, ErrorMessage,
                         ::testing::ValuesIn(every_example(std::type_identity<Error::Variant>{})),
                         [](const auto& info) { return info.param.name; });

TEST(ReadIo, BuildsTheIoErrorOfAFailedRead) {
  EXPECT_EQ(Error::read_io(".pak format version", IoError::unexpected_eof()).message(),
            "when reading .pak format version got failed to fill whole buffer");
}

}  // namespace
}  // namespace quellan::error
