#include "tarn/pak/key_set.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <limits>
#include <optional>
#include <span>
#include <utility>

#include "common/bytes.h"

namespace quellan::tarn::pak {

namespace {

// Keys are hashed as polynomials over the field of integers modulo this prime,
// evaluated at the point with no constant term, one coefficient for each seven
// bytes, read a word at a time. A key of fewer than 16 bytes carries its length
// in the top byte of its first coefficient, which stays below 2^60: one
// multiplication for a key of up to seven bytes. A longer key has its length as
// a coefficient of its own before its bytes, which gives it a higher degree
// than any shorter key. So two different keys differ by a polynomial of degree
// n + 1 at most that is not zero, and it takes any one value at n + 1 points at
// most, which bounds their collisions over the points.
constexpr std::uint64_t PRIME = (std::uint64_t{1} << 61) - 1;
constexpr std::size_t COEFFICIENT_BYTES = 7;
constexpr std::size_t LENGTH_SHIFT = 8 * COEFFICIENT_BYTES;
constexpr std::size_t LENGTH_IN_COEFFICIENT_LIMIT = 16;

__extension__ using Product = unsigned __int128;  // GCC's, for one multiplication

/// `a` times `b` modulo the prime, below it, for `a` below 2^63 and `b` below it.
std::uint64_t multiply_modulo_prime(std::uint64_t a, std::uint64_t b) {
  const Product product = static_cast<Product>(a) * b;
  // 2^61 is 1 modulo the prime: fold the high bits onto the low ones, twice.
  std::uint64_t folded = (static_cast<std::uint64_t>(product) & PRIME) + static_cast<std::uint64_t>(product >> 61);
  folded = (folded & PRIME) + (folded >> 61);
  return folded >= PRIME ? folded - PRIME : folded;
}

/// The up to seven bytes of `key` from `offset` on, as a number below 2^56.
/// Reads a whole word, which the padding behind the list allows.
std::uint64_t coefficient_at(std::string_view key, std::size_t offset) {
  return common::low_bytes(common::load_word(key.data() + offset),
                           std::min(key.size() - offset, COEFFICIENT_BYTES));
}

/// A point of the field from 64 random bits.
std::uint64_t point_from(std::uint64_t bits) { return bits % (PRIME - 1) + 1; }

}  // namespace

bool FirstKeys::add(std::string_view key) {
  if (std::ranges::any_of(keys(), [&](std::string_view kept) { return same_key(kept, key); })) return true;
  if (!is_full()) keys_[count_++] = key;
  return false;
}

std::uint64_t HashPoint::mixed(const void* address, std::uint64_t salt) {
  // SplitMix64's finaliser.
  std::uint64_t bits = reinterpret_cast<std::uintptr_t>(address) + salt * 0x9E3779B97F4A7C15u;
  bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9u;
  bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBu;
  return point_from(bits ^ (bits >> 31));
}

std::uint32_t HashPoint::hash(std::string_view key) const {
  if (key.size() > COEFFICIENT_BYTES) return hash_long(key);
  const std::uint64_t coefficient = std::uint64_t{key.size()} << LENGTH_SHIFT | coefficient_at(key, 0);
  return static_cast<std::uint32_t>(multiply_modulo_prime(coefficient, point_));
}

std::uint32_t HashPoint::hash_long(std::string_view key) const {
  std::uint64_t value = 0;
  std::uint64_t first = coefficient_at(key, 0);
  if (key.size() < LENGTH_IN_COEFFICIENT_LIMIT) {
    first |= std::uint64_t{key.size()} << LENGTH_SHIFT;
  } else {
    value = multiply_modulo_prime(key.size(), point_);
  }
  value = multiply_modulo_prime(value + first, point_);
  for (std::size_t offset = COEFFICIENT_BYTES; offset < key.size(); offset += COEFFICIENT_BYTES) {
    value = multiply_modulo_prime(value + coefficient_at(key, offset), point_);
  }
  return static_cast<std::uint32_t>(value);
}

void HashPoint::draw(const void* address, std::uint64_t salt) {
  assert(!drawn_ && "the point is drawn once");
  const std::optional<std::uint64_t> bits = random_bits_();
  point_ = bits ? point_from(*bits) : mixed(address, salt);
  drawn_ = true;
}

void KeyTable::reset(std::size_t keys) {
  slots_.assign(std::bit_ceil(keys / 3 * 4 + 4), Slot{0, 0});
  count_ = 0;
}

void KeyTable::rehash(std::string_view list, const HashPoint& point) {
  for (Slot& slot : slots_) {
    if (slot.offset_after != 0) slot.hash = point.hash(key_at(list, slot.offset_after - 1));
  }
  move_into(slots_.size());
}

void KeyTable::move_into(std::size_t capacity) {
  std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(capacity, Slot{0, 0}));
  const std::size_t mask = capacity - 1;
  for (const Slot kept : old) {
    if (kept.offset_after == 0) continue;
    std::size_t slot = kept.hash & mask;
    while (slots_[slot].offset_after != 0) slot = (slot + 1) & mask;
    slots_[slot] = kept;
  }
}

KeySet::KeySet(std::string_view list) : KeySet(list, HashPoint::mixed(this, 0)) {}

KeySet::KeySet(std::string_view list, std::uint64_t point, RandomBits random_bits)
    : list_(list), point_(point, random_bits) {
  table_.reset(FirstKeys::FIRST_KEYS + 1);
}

bool KeySet::insert(std::size_t offset, std::size_t length) {
  const std::uint32_t hash = point_.hash(std::string_view(list_.data() + offset, length));
  const std::size_t longest_probe = point_.is_drawn() ? std::numeric_limits<std::size_t>::max() : LONGEST_PROBE;
  switch (table_.insert(list_, offset, hash, longest_probe)) {
    case KeyTable::Insert::added:
      return false;
    case KeyTable::Insert::found:
      return true;
    case KeyTable::Insert::probe_too_long:
      break;
  }
  point_.draw(this, offset);
  table_.rehash(list_, point_);
  return insert(offset, length);  // once: the point is drawn now
}

KeyBatch::KeyBatch(std::string_view list, RandomBits random_bits) : list_(list), point_(0, random_bits) {
  point_.draw(this, 0);
}

KeyBatch::KeyBatch(std::string_view list, std::uint64_t point) : list_(list), point_(point, kernel_random_bits) {}

std::optional<std::size_t> KeyBatch::add(std::size_t offset, std::size_t length) {
  const std::uint32_t hash = point_.hash(std::string_view(list_.data() + offset, length));
  partitions_[hash >> (32 - PARTITION_BITS)].push_back({hash, static_cast<std::uint32_t>(offset)});
  if (++keys_ < next_search_round_) return std::nullopt;
  next_search_round_ *= 2;
  return first_repeat();
}

std::optional<std::size_t> KeyBatch::first_repeat() {
  constexpr std::size_t none = std::numeric_limits<std::size_t>::max();
  // Random points spread distinct keys evenly, so a partition's table starts
  // with room for its share of the keys and a margin that they pass only by
  // chance, and grows: equal keys gathered in one partition cost no more room
  // than distinct keys spread over all of them.
  const std::size_t first_room = (keys_ >> PARTITION_BITS) + FIRST_SEARCH_KEYS;
  std::size_t first = none;
  for (const Partition& partition : partitions_) first = first_repeat_in(partition, first_room, first);
  return first == none ? std::nullopt : std::optional(first);
}

std::size_t KeyBatch::first_repeat_in(const Partition& partition, std::size_t first_room, std::size_t before) {
  // Equal keys share a partition: the first key of it that repeats one met
  // before it there repeats an earlier key of the list, and none before it does.
  search_table_.reset(std::min(partition.size(), first_room));
  for (std::size_t chunk = 0; chunk < partition.chunks.size(); ++chunk) {
    const std::size_t entries = chunk + 1 == partition.chunks.size() ? partition.last_chunk_entries : CHUNK_ENTRIES;
    for (const Entry entry : std::span(partition.chunks[chunk].get(), entries)) {
      if (entry.offset >= before) return before;  // behind a repeat found already
      if (search_table_.insert(list_, entry.offset, entry.hash, std::numeric_limits<std::size_t>::max()) ==
          KeyTable::Insert::found) {
        return entry.offset;
      }
    }
  }
  return before;
}

void KeyBatch::Partition::push_back(Entry entry) {
  if (last_chunk_entries == CHUNK_ENTRIES) {
    chunks.push_back(std::make_unique_for_overwrite<Entry[]>(CHUNK_ENTRIES));
    last_chunk_entries = 0;
  }
  chunks.back()[last_chunk_entries++] = entry;
}

}  // namespace quellan::tarn::pak
