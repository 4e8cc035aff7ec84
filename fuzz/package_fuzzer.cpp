// libFuzzer target: arbitrary bytes as a whole package file.
#include "harness/fuzz_entry.h"
#include "harness/package_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::read_package_input);
}
