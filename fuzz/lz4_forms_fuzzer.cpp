// libFuzzer target: the LZ4 decoder's three forms hold to one answer at any step.
#include "harness/fuzz_entry.h"
#include "harness/lz4_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::compare_lz4_forms);
}
