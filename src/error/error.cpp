#include "error/error.h"

#include <charconv>

namespace quellan::error {

namespace {

std::string hex(std::uint64_t value) {
  char digits[16];
  auto end = std::to_chars(std::begin(digits), std::end(digits), value, 16).ptr;
  return std::string(digits, end);
}

std::string byte_list(const std::array<std::uint8_t, 4>& bytes) {
  std::string text = "[";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) text += ", ";
    text += std::to_string(bytes[i]);
  }
  return text + "]";
}

struct MessageOf {
  std::string operator()(const Io& e) const {
    return "when " + e.context + " got " + e.cause.message();
  }
  std::string operator()(const InvalidMagic& e) const {
    return "found " + byte_list(e.found) + " instead of " + byte_list(e.expected);
  }
  std::string operator()(const UnsupportedVersion&) const {
    return "the file indicated a version number that this tool does not support";
  }
  std::string operator()(const TablePathsDecompress& e) const {
    return "tried to decompress path of table but got " + e.cause.message();
  }
  std::string operator()(const UnknownCompression& e) const {
    return "unknown compression type specified with " + std::to_string(e.method) +
           " found when " + e.context;
  }
  std::string operator()(const Lz4Decompress& e) const {
    return "tried to LZ4 decompress " + e.what + " with compressed_length 0x" +
           hex(e.compressed_length) + " and decompressed length 0x" +
           hex(e.decompressed_length) + " but got " + e.cause.message();
  }
  std::string operator()(const DecompressIo& e) const {
    return "tried to decompress " + e.path + " but got " + e.cause.message();
  }
  std::string operator()(const ZstdUnsupported&) const {
    return "zstd-compressed data in .pak not currently supported";
  }
  std::string operator()(const SchemaMismatch& e) const {
    return "meta.kvt in the VOKA file didn't match expected schema due to " + e.cause;
  }
  std::string operator()(const NoModuleInfoNode&) const {
    return "no node found with XPath "
           "/save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']";
  }
};

}  // namespace

Error Error::read_io(std::string what, IoError cause) {
  return Io{"reading " + std::move(what), cause};
}

std::string Error::message() const { return std::visit(MessageOf{}, variant_); }

}  // namespace quellan::error
