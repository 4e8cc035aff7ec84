// libFuzzer target: the XML reader against expat on the documents both must agree on.
#include "harness/fuzz_entry.h"
#include "harness/xml_differential_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::compare_with_expat_input);
}
