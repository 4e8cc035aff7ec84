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

// A source of fixed bits that counts the draws.
int draws = 0;

std::optional<std::uint64_t> counted_random_bits() {
  ++draws;
  return 0x0123456789ABCDEFu;
}

// Long keys alike but for their last bytes spread as any keys do: no probe
// grows long enough to draw a point, as every probe would if the hash missed
// the last bytes.
TEST(KeySet, LongKeysThatDifferInTheirLastBytesDoNotCollide) {
  std::vector<std::string> keys;
  for (int i = 1000; i < 2000; ++i) keys.push_back("a_key_that_shares_its_first_forty_bytes_" + std::to_string(i));
  draws = 0;
  expect_each_key_told_apart(keys, 0x123456789ABCDEFu, counted_random_bits);
  EXPECT_EQ(draws, 0);
}

// A system call for each draw would cost more than a tag of 17 keys is worth.
TEST(KeySet, AsksForRandomBitsAtMostOnce) {
  draws = 0;
  expect_each_key_told_apart(numbered_keys(2000), 0, counted_random_bits);  // every probe long until the draw
  EXPECT_EQ(draws, 1);
  const AttributeList list(NEAR_KEYS);
  draws = 0;
  KeyBatch batch(list.view(), counted_random_bits);
  for (std::size_t i = 0; i < NEAR_KEYS.size(); ++i) (void)batch.add(list.offsets[i], NEAR_KEYS[i].size());
  EXPECT_EQ(batch.first_repeat(), std::nullopt);
  EXPECT_EQ(draws, 1);
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

/// The index of the first of `keys` that repeats an earlier one, as a set
/// finds it one key at a time, or nullopt.
std::optional<std::size_t> first_repeat_in_set(const std::vector<std::string>& keys, std::optional<std::uint64_t> point) {
  const AttributeList list(keys);
  KeySet set = point ? KeySet(list.view(), *point) : KeySet(list.view());
  for (std::size_t i = 0; i < keys.size(); ++i) {
    if (set.insert(list.offsets[i], keys[i].size())) return i;
  }
  return std::nullopt;
}

struct RepeatCase {
  const char* name;
  std::vector<std::string> keys;
  std::optional<std::size_t> first_repeat;
};

void PrintTo(const RepeatCase& c, std::ostream* os) { *os << c.name; }

class FirstRepeat : public testing::TestWithParam<RepeatCase> {};

// The set, one key at a time, and the batch, reading ahead, find the same
// first repeat: the earliest repeat in the list, not the repeat of the earliest
// key. At point 0 every key collides and only their bytes tell them apart; at
// other points the repeats lie in different partitions of the batch.
TEST_P(FirstRepeat, IsTheSameOneByOneAndInABatch) {
  const RepeatCase& c = GetParam();
  for (const std::optional<std::uint64_t> point : {std::optional<std::uint64_t>(0),
                                                   std::optional<std::uint64_t>(0x123456789ABCDEFu),
                                                   std::optional<std::uint64_t>()}) {
    EXPECT_EQ(first_repeat_in_set(c.keys, point), c.first_repeat);
    EXPECT_EQ(first_repeat_in_batch(c.keys, point), c.first_repeat);
  }
}

const std::vector<std::string> NUMBERED = numbered_keys(2000);

INSTANTIATE_TEST_SUITE_P(
    KeySetAndKeyBatch, FirstRepeat,
    testing::Values(RepeatCase{"NearKeys", NEAR_KEYS, std::nullopt},
                    RepeatCase{"NearKeysThenTwoRepeats", with_repeats(NEAR_KEYS, {5, 0}), NEAR_KEYS.size()},
                    RepeatCase{"TheEmptyKeyAgain", {"", "a", ""}, 2},
                    RepeatCase{"KeysThatBeginAKeyMetAgain", {"abc", "ab", "abcd", "abc\xff", "ab"}, 4},
                    RepeatCase{"NumberedKeys", NUMBERED, std::nullopt},
                    RepeatCase{"LastThenFirstKeyAgain", with_repeats(NUMBERED, {1999, 0, 1}), NUMBERED.size()},
                    RepeatCase{"SecondThenLastKeyAgain", with_repeats(NUMBERED, {1, 1998, 0}), NUMBERED.size()}),
    [](const testing::TestParamInfo<RepeatCase>& info) { return std::string(info.param.name); });

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
