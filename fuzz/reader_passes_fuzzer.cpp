// libFuzzer target: the XML reader's specialised passes against its general
// reading, on arbitrary bytes.
#include "harness/fuzz_entry.h"
#include "harness/reader_passes_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::compare_reader_passes_input);
}
