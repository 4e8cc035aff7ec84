#include "common/path_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quellan::common {
namespace {

// U+FFFD as UTF-8.
#define REPLACEMENT "\xEF\xBF\xBD"

struct LossyCase {
  const char* name;
  std::string bytes;
  std::string expected;
};

class PathbufFromBytes : public ::testing::TestWithParam<LossyCase> {};

TEST_P(PathbufFromBytes, ReplacesEachMaximalInvalidPrefixOnce) {
  EXPECT_EQ(pathbuf_from_bytes(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Utf8, PathbufFromBytes,
    ::testing::Values(
        LossyCase{"empty", "", ""},
        LossyCase{"ascii", "Mods/SomeMod/meta.kvt", "Mods/SomeMod/meta.kvt"},
        LossyCase{"embedded_nul_kept", std::string("a\0b", 3), std::string("a\0b", 3)},
        LossyCase{"valid_multibyte_kept", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF",
                  "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        LossyCase{"lone_continuation", "a\x80z", "a" REPLACEMENT "z"},
        LossyCase{"two_continuations_two_replacements", "\x80\xBF", REPLACEMENT REPLACEMENT},
        LossyCase{"truncated_two_byte_at_end", "a\xC3", "a" REPLACEMENT},
        LossyCase{"truncated_three_byte_is_one_replacement", "\xE2\x82z", REPLACEMENT "z"},
        LossyCase{"truncated_four_byte_is_one_replacement", "\xF0\x9F\x98z", REPLACEMENT "z"},
        LossyCase{"truncated_four_byte_at_end", "\xF0\x9F\x98", REPLACEMENT},
        LossyCase{"lead_followed_by_lead", "\xE2\xC3\xA9", REPLACEMENT "\xC3\xA9"},
        LossyCase{"surrogate_each_byte_replaced", "\xED\xA0\x80", REPLACEMENT REPLACEMENT REPLACEMENT},
        LossyCase{"overlong_nul", "\xC0\x80", REPLACEMENT REPLACEMENT},
        LossyCase{"overlong_three_byte", "\xE0\x80\xAF", REPLACEMENT REPLACEMENT REPLACEMENT},
        LossyCase{"overlong_four_byte", "\xF0\x8F\xBF\xBF", REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT},
        LossyCase{"above_u10ffff", "\xF4\x90\x80\x80", REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT},
        LossyCase{"f5_and_above", "\xF5\xF8\xFE\xFF", REPLACEMENT REPLACEMENT REPLACEMENT REPLACEMENT}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quellan::common
