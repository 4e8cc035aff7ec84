// libFuzzer target: the metadata parser's one-pass reads of field and `node`
// tags against the XML reader's general reading, on arbitrary bytes.
#include "harness/fuzz_entry.h"
#include "harness/reader_passes_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::compare_reader_passes_input);
}
