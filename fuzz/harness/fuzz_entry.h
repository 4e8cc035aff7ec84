#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace quellan::fuzz {

/// Runs `check` on the fuzzer's input and aborts on a broken promise, so that
/// libFuzzer keeps the input that showed it.
template <class Check>
int run_fuzz_input(const std::uint8_t* data, std::size_t size, Check check) {
  const std::optional<std::string> violation =
      check(std::string_view(reinterpret_cast<const char*>(data), size));
  if (violation) {
    std::fprintf(stderr, "broken promise: %s\n", violation->c_str());
    std::abort();
  }
  return 0;
}

}  // namespace quellan::fuzz
