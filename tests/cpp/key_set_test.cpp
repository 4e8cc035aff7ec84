#include <gtest/gtest.h>

#include <algorithm>
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
void expect_each_key_told_apart(const std::vector<std::string>& keys, std::optional<std::uint64_t> point,
                                RandomBits random_bits = kernel_random_bits) {
  const AttributeList list(keys);
  KeySet set = point ? KeySet(list.view(), *point, random_bits) : KeySet(list.view());
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
int refusals = 0;

std::optional<std::uint64_t> refused_random_bits() {
  ++refusals;
  return std::nullopt;
}

TEST(KeySet, FindsEveryKeyAcrossGrowthAndNewPoints) {
  const std::vector<std::string> keys = numbered_keys(2000);
  expect_each_key_told_apart(keys, 0);
  // Where the kernel refuses random bytes, the point is mixed instead.
  expect_each_key_told_apart(keys, 0, refused_random_bits);
  EXPECT_GT(refusals, 0) << "no long probe asked for a point";
  expect_each_key_told_apart(keys, 0x123456789ABCDEFu);
  expect_each_key_told_apart(keys, std::nullopt);
}

/// The index of the first of `keys` that repeats an earlier one, as a batch finds
/// it, or nullopt: as soon as a search round finds it, or once all are added.
std::optional<std::size_t> first_repeat_in_batch(const std::vector<std::string>& keys,
                                                 std::optional<std::uint64_t> point) {
  const AttributeList list(keys);
  KeyBatch batch = point ? KeyBatch(list.view(), *point) : KeyBatch(list.view());
  std::optional<std::size_t> offset;
  for (std::size_t i = 0; i < keys.size() && !offset; ++i) offset = batch.add(list.offsets[i], keys[i].size());
  if (!offset) offset = batch.first_repeat();
  if (!offset) return std::nullopt;
  return static_cast<std::size_t>(std::ranges::find(list.offsets, *offset) - list.offsets.begin());
}

/// `keys` with `repeated` of them added again, in that order.
std::vector<std::string> with_repeats(std::vector<std::string> keys, const std::vector<std::size_t>& repeated) {
  const std::size_t count = keys.size();
  for (const std::size_t index : repeated) keys.push_back(keys[index % count]);
  return keys;
}

// The earliest repeat in the list wins, not the repeat of the earliest key: at
// point 0 every key collides and only their bytes tell them apart, and at other
// points the repeats lie in different partitions.
TEST(KeyBatch, FindsTheFirstKeyThatRepeatsAnEarlierOne) {
  for (const std::optional<std::uint64_t> point :
       {std::optional<std::uint64_t>(0), std::optional<std::uint64_t>(0x123456789ABCDEFu), std::optional<std::uint64_t>()}) {
    EXPECT_EQ(first_repeat_in_batch(NEAR_KEYS, point), std::nullopt);
    EXPECT_EQ(first_repeat_in_batch(with_repeats(NEAR_KEYS, {5, 0}), point), NEAR_KEYS.size());
    const std::vector<std::string> numbered = numbered_keys(2000);
    EXPECT_EQ(first_repeat_in_batch(numbered, point), std::nullopt);
    EXPECT_EQ(first_repeat_in_batch(with_repeats(numbered, {1999, 0, 1}), point), numbered.size());
    EXPECT_EQ(first_repeat_in_batch(with_repeats(numbered, {1, 1998, 0}), point), numbered.size());
  }
}

// Searches as the keys come: a repeat is found by the search after it, and
// none that would come later takes its place; a list without repeats goes
// through every search to the end.
TEST(KeyBatch, SearchRoundsFindTheFirstRepeatOnly) {
  const std::vector<std::string> numbered = numbered_keys(20'000);
  std::vector<std::string> keys(numbered.begin(), numbered.begin() + 5000);
  keys.push_back(numbered[4999]);
  keys.push_back(numbered[7]);
  keys.insert(keys.end(), numbered.begin() + 5000, numbered.end());
  for (const std::optional<std::uint64_t> point : {std::optional<std::uint64_t>(0x123456789ABCDEFu),
                                                   std::optional<std::uint64_t>()}) {
    EXPECT_EQ(first_repeat_in_batch(keys, point), 5000u);
    EXPECT_EQ(first_repeat_in_batch(numbered, point), std::nullopt);
    EXPECT_EQ(first_repeat_in_batch(with_repeats(numbered, {12'345}), point), numbered.size());
  }
}

}  // namespace
}  // namespace quellan::tarn::pak
