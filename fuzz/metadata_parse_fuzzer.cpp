// libFuzzer target: arbitrary bytes as a "meta.kvt" document.
#include "harness/fuzz_entry.h"
#include "harness/metadata_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::parse_metadata_input);
}
