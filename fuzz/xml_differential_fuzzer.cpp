// libFuzzer target: the XML reader against expat on the documents both must agree on.
#include "harness/fuzz_entry.h"
#include "harness/xml_differential_input.h"

// Documents that expat refuses compare nothing; they are kept out of the corpus
// (libFuzzer's -1), so that mutations start from documents that do compare.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  bool comparable = false;
  quellan::fuzz::run_fuzz_input(data, size, [&](std::string_view bytes) {
    quellan::fuzz::Comparison comparison = quellan::fuzz::compare_with_expat(bytes);
    comparable = comparison.comparable;
    return comparison.violation;
  });
  return comparable ? 0 : -1;
}
