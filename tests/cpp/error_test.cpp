#include "error/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "common/path_text.h"

namespace quellan::error {
namespace {

struct MessageCase {
  const char* name;
  Error error;
  std::string expected;
};

class ErrorMessage : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ErrorMessage, RendersOneExactLine) { EXPECT_EQ(GetParam().error.message(), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    EveryVariant, ErrorMessage,
    ::testing::Values(
        MessageCase{"io_with_os_error", Io{"reading /no/such.pak", IoError::os(ENOENT)},
                    "when reading /no/such.pak got No such file or directory (os error 2)"},
        MessageCase{"io_seek_refused", Io{"seeking to .pak footer offset", IoError::os(EINVAL)},
                    "when seeking to .pak footer offset got Invalid argument (os error 22)"},
        MessageCase{"read_io_short_read", Error::read_io(".pak format version", IoError::unexpected_eof()),
                    "when reading .pak format version got failed to fill whole buffer"},
        MessageCase{"read_io_nul_in_path", Error::read_io("a\\0b", IoError::nul_in_path()),
                    "when reading a\\0b got file name contained an unexpected NUL byte"},
        MessageCase{"invalid_magic", InvalidMagic{{65, 66, 67, 68}, {86, 79, 75, 65}},
                    "found [65, 66, 67, 68] instead of [86, 79, 75, 65]"},
        MessageCase{"invalid_magic_extreme_bytes", InvalidMagic{{0, 255, 10, 128}, {86, 79, 75, 65}},
                    "found [0, 255, 10, 128] instead of [86, 79, 75, 65]"},
        MessageCase{"unsupported_version", UnsupportedVersion{},
                    "the file indicated a version number that this tool does not support"},
        MessageCase{"table_empty_block", TablePathsDecompress{Lz4Error::empty_input()},
                    "tried to decompress path of table but got expected another byte, found none"},
        MessageCase{"table_corrupt_block", TablePathsDecompress{Lz4Error::malformed(544)},
                    "tried to decompress path of table but got the block is corrupt or decompresses to more than "
                    "544 bytes"},
        MessageCase{"table_out_of_memory", TablePathsDecompress{Lz4Error::out_of_memory(4096)},
                    "tried to decompress path of table but got no memory for 4096 bytes of output"},
        MessageCase{"table_short_block", TablePathsDecompress{Lz4Error::short_output(272, 544)},
                    "tried to decompress path of table but got the block decompressed to 272 bytes but "
                    "544 were declared"},
        MessageCase{"unknown_compression",
                    UnknownCompression{5, ".pak compression flags for Mods/SomeMod/meta.kvt"},
                    "unknown compression type specified with 5 found when .pak compression flags for "
                    "Mods/SomeMod/meta.kvt"},
        MessageCase{"lz4_lengths_in_hex",
                    Lz4Decompress{"file Mods/A/meta.kvt at offset 16", 4096, 16384, Lz4Error::empty_input()},
                    "tried to LZ4 decompress file Mods/A/meta.kvt at offset 16 with compressed_length 0x1000 "
                    "and decompressed length 0x4000 but got expected another byte, found none"},
        MessageCase{"lz4_zero_and_largest_lengths",
                    Lz4Decompress{"file x at offset 0", 0, 0xFFFFFFFF, Lz4Error::empty_input()},
                    "tried to LZ4 decompress file x at offset 0 with compressed_length 0x0 and decompressed "
                    "length 0xffffffff but got expected another byte, found none"},
        MessageCase{"decompress_io_corrupt", DecompressIo{"Mods/A/meta.kvt", IoError::corrupt_deflate()},
                    "tried to decompress Mods/A/meta.kvt but got corrupt deflate stream"},
        MessageCase{"decompress_io_short", DecompressIo{"Mods/A/meta.kvt", IoError::unexpected_eof()},
                    "tried to decompress Mods/A/meta.kvt but got failed to fill whole buffer"},
        MessageCase{"decompress_io_lossy_path",
                    DecompressIo{common::pathbuf_from_bytes("Mods/\xFF/meta.kvt"), IoError::unexpected_eof()},
                    "tried to decompress Mods/\xEF\xBF\xBD/meta.kvt but got failed to fill whole buffer"},
        MessageCase{"zstd_unsupported", ZstdUnsupported{}, "zstd-compressed data in .pak not currently supported"},
        MessageCase{"schema_mismatch", SchemaMismatch{"failed to parse ModuleInfo node"},
                    "meta.kvt in the VOKA file didn't match expected schema due to failed to parse ModuleInfo "
                    "node"},
        MessageCase{"no_module_info_node", NoModuleInfoNode{},
                    "no node found with XPath "
                    "/save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quellan::error
