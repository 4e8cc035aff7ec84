#include "tarn/pak/key_set.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

namespace {

// Keys are hashed as polynomials over the field of integers modulo this prime,
// evaluated at the set's point with no constant term, one coefficient for each
// seven bytes, read a word at a time. A key of fewer than 16 bytes carries its
// length in the top byte of its first coefficient, which stays below 2^60: one
// multiplication for a key of up to seven bytes. A longer key has its length as
// a coefficient of its own before its bytes, which gives it a higher degree
// than any shorter key. So two different keys differ by a polynomial of degree
// n + 1 at most that is not zero, and it takes any one value at n + 1 points at
// most, which bounds their collisions over the points.
constexpr std::uint64_t PRIME = (std::uint64_t{1} << 61) - 1;
constexpr std::size_t COEFFICIENT_BYTES = 7;
constexpr std::size_t LENGTH_SHIFT = 8 * COEFFICIENT_BYTES;
constexpr std::size_t LENGTH_IN_COEFFICIENT_LIMIT = 16;
constexpr std::uint32_t EMPTY = 0;

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
  std::uint64_t word;
  std::memcpy(&word, key.data() + offset, sizeof word);
  const std::size_t bytes = std::min(key.size() - offset, COEFFICIENT_BYTES);
  return word & ((std::uint64_t{1} << (8 * bytes)) - 1);  // little-endian: the low bytes
}

/// The hash of a key of more than seven bytes, out of line.
[[gnu::noinline]] std::uint32_t hash_long_key(std::string_view key, std::uint64_t point) {
  std::uint64_t value = 0;
  std::uint64_t first = coefficient_at(key, 0);
  if (key.size() < LENGTH_IN_COEFFICIENT_LIMIT) {
    first |= std::uint64_t{key.size()} << LENGTH_SHIFT;
  } else {
    value = multiply_modulo_prime(key.size(), point);
  }
  value = multiply_modulo_prime(value + first, point);
  for (std::size_t offset = COEFFICIENT_BYTES; offset < key.size(); offset += COEFFICIENT_BYTES) {
    value = multiply_modulo_prime(value + coefficient_at(key, offset), point);
  }
  return static_cast<std::uint32_t>(value);
}

/// The low 32 bits of the hash of `key` at `point`: a key of up to seven bytes
/// takes one multiplication, inline.
inline std::uint32_t hash_at_point(std::string_view key, std::uint64_t point) {
  if (key.size() > COEFFICIENT_BYTES) return hash_long_key(key, point);
  const std::uint64_t coefficient = std::uint64_t{key.size()} << LENGTH_SHIFT | coefficient_at(key, 0);
  return static_cast<std::uint32_t>(multiply_modulo_prime(coefficient, point));
}

bool is_key_end(char c) { return c == '=' || is_white_space(c); }

/// The key at `offset` of `list`, up to the byte that ends it.
std::string_view key_in(std::string_view list, std::size_t offset) {
  const std::string_view rest = list.substr(offset);
  return rest.substr(0, static_cast<std::size_t>(std::ranges::find_if(rest, is_key_end) - rest.begin()));
}

/// The most keys a table of `capacity` slots holds before it grows.
constexpr std::size_t most_keys(std::size_t capacity) { return capacity / 4 * 3; }

/// The slots of a table that holds `keys` keys at most three quarters full.
std::size_t slots_for(std::size_t keys) { return std::bit_ceil(keys / 3 * 4 + 4); }

/// A point of the field from 64 random bits.
std::uint64_t point_from(std::uint64_t bits) { return bits % (PRIME - 1) + 1; }

/// A point mixed from `address` and `salt` (SplitMix64's finaliser), for when
/// the kernel cannot give one: no document sees the address, but it is no secret.
std::uint64_t mixed_point(const void* address, std::uint64_t salt) {
  std::uint64_t bits = reinterpret_cast<std::uintptr_t>(address) + salt * 0x9E3779B97F4A7C15u;
  bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9u;
  bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBu;
  return point_from(bits ^ (bits >> 31));
}

/// A point drawn from `random_bits`, or mixed from `address` where it refuses.
std::uint64_t drawn_point(RandomBits random_bits, const void* address, std::uint64_t salt) {
  const std::optional<std::uint64_t> bits = random_bits();
  return bits ? point_from(*bits) : mixed_point(address, salt);
}

}  // namespace

KeySet::KeySet(std::string_view list) : KeySet(list, mixed_point(this, 0)) {}

KeySet::KeySet(std::string_view list, std::uint64_t point, RandomBits random_bits)
    : list_(list), point_(point), random_bits_(random_bits), slots_(allocate(FIRST_CAPACITY)) {}

KeySet::Slots KeySet::allocate(std::size_t capacity) {
  Slots slots(static_cast<Slot*>(std::calloc(capacity, sizeof(Slot))));
  if (!slots) throw std::bad_alloc();
  return slots;
}

std::uint32_t KeySet::hash_key(std::string_view key) const { return hash_at_point(key, point_); }

bool KeySet::insert(std::size_t offset, std::size_t length) {
  const std::string_view key(list_.data() + offset, length);
  const std::uint32_t hash = hash_key(key);
  std::size_t slot = hash & mask_;
  // The table always has an empty slot (see `add`), which ends the probe.
  for (std::size_t probed = 0; slots_[slot].offset_after != EMPTY; ++probed) {
    const Slot kept = slots_[slot];
    if (kept.hash == hash && holds_key(kept.offset_after - 1, key)) return true;
    if (probed == LONGEST_PROBE && !point_settled_) return insert_at_new_point(offset, length);
    slot = (slot + 1) & mask_;
  }
  add(slot, offset, hash);
  return false;
}

bool KeySet::insert_at_new_point(std::size_t offset, std::size_t length) {
  redraw_point();
  return insert(offset, length);  // once: the point is settled now
}

void KeySet::add(std::size_t slot, std::size_t offset, std::uint32_t hash) {
  slots_[slot] = {static_cast<std::uint32_t>(offset + 1), hash};
  // Growing as soon as the table passes three quarters keeps a quarter of it
  // empty after every insertion: no table is ever full, so every probe ends.
  static_assert(most_keys(FIRST_CAPACITY) < FIRST_CAPACITY);
  if (++count_ > most_keys(mask_ + 1)) move_into(2 * (mask_ + 1), false);
  assert(count_ < mask_ + 1 && "a full table would never end a probe for a new key");
}

bool KeySet::holds_key(std::size_t kept, std::string_view key) const {
  // Equal when the kept key has the same bytes and ends after them; a kept key
  // ends before the list does.
  const std::size_t end = kept + key.size();
  return end < list_.size() && list_.compare(kept, key.size(), key) == 0 && is_key_end(list_[end]);
}

std::string_view KeySet::key_at(std::size_t kept) const { return key_in(list_, kept); }

void KeySet::move_into(std::size_t capacity, bool rehash) {
  const Slots old = std::exchange(slots_, allocate(capacity));
  const std::size_t old_capacity = mask_ + 1;
  mask_ = capacity - 1;
  for (std::size_t i = 0; i < old_capacity; ++i) {
    Slot kept = old[i];
    if (kept.offset_after == EMPTY) continue;
    if (rehash) kept.hash = hash_key(key_at(kept.offset_after - 1));
    std::size_t slot = kept.hash & mask_;
    while (slots_[slot].offset_after != EMPTY) slot = (slot + 1) & mask_;
    slots_[slot] = kept;
  }
}

void KeySet::redraw_point() {
  point_ = drawn_point(random_bits_, this, count_);
  point_settled_ = true;
  move_into(mask_ + 1, true);
}

KeyBatch::KeyBatch(std::string_view list) : KeyBatch(list, drawn_point(kernel_random_bits, this, 0)) {}

KeyBatch::KeyBatch(std::string_view list, std::uint64_t point) : list_(list), point_(point) {}

std::optional<std::size_t> KeyBatch::add(std::size_t offset, std::size_t length) {
  const std::uint32_t hash = hash_at_point(std::string_view(list_.data() + offset, length), point_);
  partitions_[hash >> (32 - PARTITION_BITS)].push_back({hash, static_cast<std::uint32_t>(offset + 1)});
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
  // At most three quarters full, the table always has an empty slot to end a
  // probe; its slot is taken from the hash's low bits, the partition from its
  // high ones. The table grows with the distinct keys met, for the first
  // repeat ends the search.
  std::vector<Entry>& table = search_table_;
  table.assign(slots_for(std::min(partition.size(), first_room)), Entry{0, EMPTY});
  std::size_t kept = 0;
  for (std::size_t chunk = 0; chunk < partition.chunks.size(); ++chunk) {
    for (const Entry entry : partition.chunk(chunk)) {
      const std::size_t offset = entry.offset_after - 1;
      if (offset >= before) return before;  // behind a repeat found already
      const std::size_t mask = table.size() - 1;
      std::size_t slot = entry.hash & mask;
      for (; table[slot].offset_after != EMPTY; slot = (slot + 1) & mask) {
        const Entry other = table[slot];
        if (other.hash == entry.hash && key_in(list_, other.offset_after - 1) == key_in(list_, offset)) return offset;
      }
      table[slot] = entry;
      if (++kept > most_keys(table.size())) grow(table);
    }
  }
  return before;
}

void KeyBatch::grow(std::vector<Entry>& table) {
  // Twice the slots, each key placed again by the hash it keeps.
  std::vector<Entry> grown(2 * table.size(), Entry{0, EMPTY});
  const std::size_t mask = grown.size() - 1;
  for (const Entry moved : table) {
    if (moved.offset_after == EMPTY) continue;
    std::size_t slot = moved.hash & mask;
    while (grown[slot].offset_after != EMPTY) slot = (slot + 1) & mask;
    grown[slot] = moved;
  }
  table = std::move(grown);
}

void KeyBatch::Partition::push_back(Entry entry) {
  if (last_chunk_entries == CHUNK_ENTRIES) {
    chunks.push_back(std::make_unique_for_overwrite<Entry[]>(CHUNK_ENTRIES));
    last_chunk_entries = 0;
  }
  chunks.back()[last_chunk_entries++] = entry;
}

std::size_t KeyBatch::Partition::size() const {
  return chunks.empty() ? 0 : (chunks.size() - 1) * CHUNK_ENTRIES + last_chunk_entries;
}

std::span<const KeyBatch::Entry> KeyBatch::Partition::chunk(std::size_t index) const {
  return {chunks[index].get(), index + 1 == chunks.size() ? last_chunk_entries : CHUNK_ENTRIES};
}

}  // namespace quellan::tarn::pak
