#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/padded.h"
#include "tarn/pak/key_set.h"

namespace quellan::tarn::pak {
namespace {

/// An attribute list of `keys` in order, each followed by `=""` or, every third
/// one, by white space before it, and where each key starts.
struct AttributeList {
  explicit AttributeList(const std::vector<std::string>& keys) {
    std::string text;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      text += ' ';
      offsets.push_back(text.size());
      text += keys[i] + (i % 3 == 2 ? "\t= ''" : "=\"\"");
    }
    buffer = test_support::padded(text);
  }
  std::string_view view() const { return buffer.view(); }

  std::vector<std::size_t> offsets;
  common::ByteBuffer buffer = test_support::padded("");
};

/// Inserts every key twice: each is new the first time and known the second.
void expect_each_key_told_apart(const std::vector<std::string>& keys, std::optional<std::uint64_t> point) {
  const AttributeList list(keys);
  KeySet set = point ? KeySet(list.view(), *point) : KeySet(list.view());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_FALSE(set.insert(list.offsets[i], keys[i].size())) << "new key " << keys[i];
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    EXPECT_TRUE(set.insert(list.offsets[i], keys[i].size())) << "repeated key " << keys[i];
  }
}

// At point 0 every key hashes to 0, so these all share one slot and one hash
// and only their bytes tell them apart; too few to make a probe long. Each is
// met after the longer keys it begins and beside keys one byte away, on both
// sides of the seven bytes read at once.
const std::vector<std::string> NEAR_KEYS = {
    "abcdefghijklmno", "abcdefghijklmn", "abcdefghijklmo", "abcdefgh", "abcdefg", "abcdefh", "abcdefi", "abc",
    "abd",             "ab",             "ba",             "a",        "b",       "",        "\xff\xff", "\xff",
};

TEST(KeySet, TellsApartKeysThatDifferInTheirLastByteOrLength) {
  expect_each_key_told_apart(NEAR_KEYS, 0);  // every key collides
  expect_each_key_told_apart(NEAR_KEYS, std::nullopt);
}

std::vector<std::string> numbered_keys(std::size_t count) {
  std::vector<std::string> keys;
  for (std::size_t i = 0; i < count; ++i) keys.push_back((i % 2 ? "k" : "a-longer-key-") + std::to_string(i));
  return keys;
}

// From 32 slots to 4,096: keys of one or two coefficients, placed again at each
// growth. At point 0 the first growth moves a run of colliding keys, and a later
// long probe draws a point and hashes every key again.
TEST(KeySet, FindsEveryKeyAcrossGrowthAndNewPoints) {
  const std::vector<std::string> keys = numbered_keys(2000);
  expect_each_key_told_apart(keys, 0);
  expect_each_key_told_apart(keys, 0x123456789ABCDEFu);
  expect_each_key_told_apart(keys, std::nullopt);
}

}  // namespace
}  // namespace quellan::tarn::pak
