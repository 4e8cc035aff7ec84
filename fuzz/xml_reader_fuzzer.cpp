// libFuzzer target: arbitrary bytes through the XML reader alone, every event,
// attribute and unescaping.
#include "harness/fuzz_entry.h"
#include "harness/xml_reading.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return quellan::fuzz::run_fuzz_input(data, size, quellan::fuzz::read_xml_input);
}
