#include "peak_memory.h"

#include <fstream>
#include <string>

namespace quellan::bench {

std::uint64_t peak_resident_kib() {
  std::ifstream status("/proc/self/status");
  const std::string field = "VmHWM:";
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field)) return std::stoull(line.substr(field.size()));
  }
  return 0;
}

}  // namespace quellan::bench
