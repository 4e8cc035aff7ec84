// libFuzzer target: the LZ4 decoder against liblz4 on the blocks both must agree on.
#include "harness/fuzz_entry.h"
#include "harness/lz4_input.h"

// Blocks that liblz4 refuses compare nothing; they are kept out of the corpus
// (libFuzzer's -1), so that mutations start from blocks that do compare.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bool comparable = false;
  quellan::fuzz::run_fuzz_input(data, size, [&](std::string_view bytes) {
    quellan::fuzz::Lz4Comparison comparison = quellan::fuzz::compare_with_liblz4(bytes);
    comparable = comparison.comparable;
    return comparison.violation;
  });
  return comparable ? 0 : -1;
}
