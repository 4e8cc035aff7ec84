// Times the library's C++ core with the same method as bench/timing.py uses for the
// Python functions, so that the cost of the Python layer shows as the difference.
//
//   quellan_core_bench time [--rounds N] [--warm-up N] FUNCTION PATH...
//       median microseconds for one pass: one call of FUNCTION per PATH
//   quellan_core_bench once FUNCTION PATH
//       one call in a fresh process, between "call begin" and "call end" written
//       to stderr (markers for strace); prints the peak resident memory it added
//   quellan_core_bench compiler
//
// FUNCTION is get_mod_info_from_pak, is_override, both (the first then the second,
// as a mod manager scanning a folder does), floor (see table_floor.h), or
// floor_get_mod_info_from_pak or floor_is_override: the least work of that whole
// call (see call_floor.h), reported only for packages where it gives the
// library's descriptions or answer (checked after the measured calls; a refusal
// exits with 1).
// Under callgrind, `--toggle-collect='*measured_call*'` counts the call alone.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "call_floor.h"
#include "peak_memory.h"
#include "raw/voka/read/mod_info.h"
#include "raw/voka/read/override.h"
#include "round_timer.h"
#include "table_floor.h"

namespace quellan::bench {

namespace {

// Results land here so that no call can be optimised away.
volatile std::size_t sink = 0;

using Call = std::size_t (*)(const std::string&);

// Each call copies the path, as the Python layer hands the library its own copy.
std::size_t mod_info_call(const std::string& path) {
  auto descriptions = raw::voka::read::get_mod_info_from_pak(path);
  return descriptions ? descriptions->size() : 0;
}

std::size_t override_call(const std::string& path) {
  return raw::voka::read::is_override(path).value_or(true) ? 1 : 0;
}

std::size_t both_calls(const std::string& path) { return mod_info_call(path) + override_call(path); }

std::size_t mod_info_floor(const std::string& path) {
  auto descriptions = read_call_floor(path);
  return descriptions ? descriptions->size() : 0;
}

std::size_t override_floor(const std::string& path) { return read_override_floor(path).value_or(true) ? 1 : 0; }

std::optional<Call> call_named(std::string_view name) {
  if (name == "get_mod_info_from_pak") return mod_info_call;
  if (name == "is_override") return override_call;
  if (name == "both") return both_calls;
  if (name == "floor") return scan_table_floor;
  if (name == "floor_get_mod_info_from_pak") return mod_info_floor;
  if (name == "floor_is_override") return override_floor;
  return std::nullopt;
}

// A call floor that reads a package differently from the library sets no floor
// for it; true when `call` is no such floor or agrees on every path.
bool floor_agrees(Call call, const std::vector<std::string>& paths) {
  const auto agrees = call == mod_info_floor ? call_floor_agrees : call == override_floor ? override_floor_agrees : nullptr;
  if (agrees == nullptr) return true;
  for (const std::string& path : paths) {
    if (agrees(path)) continue;
    std::fprintf(stderr, "the floor reads %s differently from the library: no figure\n", path.c_str());
    return false;
  }
  return true;
}

[[gnu::noinline]] std::size_t measured_call(Call call, const std::string& path) { return call(path); }

int usage() {
  std::fputs(
      "usage: quellan_core_bench time [--rounds N] [--warm-up N] FUNCTION PATH...\n"
      "       quellan_core_bench once FUNCTION PATH\n"
      "       quellan_core_bench compiler\n"
      "FUNCTION: get_mod_info_from_pak | is_override | both | floor | floor_get_mod_info_from_pak |\n"
      "          floor_is_override\n",
      stderr);
  return 2;
}

void mark(std::string_view text) {
  // A plain write(2), so that it shows in a system-call trace exactly where it happens.
  (void)!::write(STDERR_FILENO, text.data(), text.size());
}

int time_command(std::vector<std::string_view> args) {
  RoundPlan plan;
  while (args.size() >= 2 && args[0].starts_with("--")) {
    const int value = std::atoi(std::string(args[1]).c_str());
    if (args[0] == "--rounds") plan.rounds = value;
    else if (args[0] == "--warm-up") plan.warm_up_rounds = value;
    else return usage();
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() < 2 || plan.rounds < 1) return usage();
  const auto call = call_named(args[0]);
  if (!call) return usage();
  const std::vector<std::string> paths(args.begin() + 1, args.end());
  const double microseconds = median_microseconds(
      [&] {
        for (const std::string& path : paths) sink = sink + (*call)(path);
      },
      plan);
  if (!floor_agrees(*call, paths)) return 1;
  std::printf("median_us %.3f\n", microseconds);
  return 0;
}

int once_command(const std::vector<std::string_view>& args) {
  if (args.size() != 2) return usage();
  const auto call = call_named(args[0]);
  if (!call) return usage();
  const std::string path(args[1]);
  const std::uint64_t before = peak_resident_kib();
  mark("call begin\n");
  sink = measured_call(*call, path);
  mark("call end\n");
  // Checked after the call, so that the check's heap does not warm the call's.
  if (!floor_agrees(*call, {path})) return 1;
  std::printf("peak_growth_kib %llu\n", static_cast<unsigned long long>(peak_resident_kib() - before));
  return 0;
}

int compiler_command() {
#if defined(__clang__)
  std::printf("Clang %s\n", __clang_version__);
#elif defined(__GNUC__)
  std::printf("GCC %d.%d.%d\n", __GNUC__, __GNUC_MINOR__, __GNUC_PATCHLEVEL__);
#else
  std::puts("unknown compiler");
#endif
  return 0;
}

}  // namespace

}  // namespace quellan::bench

int main(int argc, char** argv) {
  using namespace quellan::bench;
  if (argc < 2) return usage();
  const std::string_view command = argv[1];
  const std::vector<std::string_view> args(argv + 2, argv + argc);
  if (command == "time") return time_command(args);
  if (command == "once") return once_command(args);
  if (command == "compiler") return compiler_command();
  return usage();
}
