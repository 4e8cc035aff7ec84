#pragma once

#include <cstdint>

namespace quellan::bench {

/// The most memory this process has had resident so far, in KiB (VmHWM). Unlike
/// getrusage's ru_maxrss, it starts afresh at exec: ru_maxrss also carries the
/// peak of the parent that spawned the process.
std::uint64_t peak_resident_kib();

}  // namespace quellan::bench
