#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "platform/random_bits.h"

namespace quellan::tarn::pak {

// Whether a key was met before in the same tag, decided by one rule: the first
// `FIRST_KEYS` keys of a tag are compared one by one, which needs no memory and
// serves nearly every tag; past them, keys are hashed into a `KeySet` as they
// are read, or, for a list too long for a set to stay in the caches, read ahead
// into a `KeyBatch`. All of them compare keys by `same_key`.

/// Whether two keys are the same key: the same bytes, with no normalisation.
inline bool same_key(std::string_view a, std::string_view b) { return a == b; }

/// The key that starts at `offset` of `list`, up to the white space or `=` that ends it.
inline std::string_view key_at(std::string_view list, std::size_t offset) {
  const std::size_t end = std::min(common::find_first_in<common::KeyEnd>(list, offset), list.size());
  return std::string_view(list.data() + offset, end - offset);
}

/// 64 random bits, or nullopt where the source refuses them.
using RandomBits = std::optional<std::uint64_t> (*)();

using platform::kernel_random_bits;

/// The first keys of a tag, compared one by one.
class FirstKeys {
 public:
  static constexpr std::size_t FIRST_KEYS = 16;

  /// Keeps `key` unless it is full. Whether it repeats a key kept before.
  bool add(std::string_view key);
  bool is_full() const { return count_ == FIRST_KEYS; }
  /// The keys kept, in the order met.
  std::span<const std::string_view> keys() const { return std::span(keys_).first(count_); }

 private:
  std::size_t count_ = 0;
  std::array<std::string_view, FIRST_KEYS> keys_;
};

/// The point at which keys are hashed, as polynomials modulo the prime 2^61 - 1,
/// a coefficient for each seven bytes. For a point drawn at random, two different
/// keys of at most n coefficients agree in the 32 bits kept with a chance below
/// 2(n + 1)/2^32, and share a home slot of a table of m slots with a chance below
/// 2(n + 1)/m, whatever keys the document chooses. The point is drawn from
/// `random_bits` at most once; where it refuses, one is mixed from the owner's
/// address, which no document sees. Answers never depend on the point.
class HashPoint {
 public:
  /// At `point` (below 2^61 - 1), drawing from `random_bits` when asked to.
  HashPoint(std::uint64_t point, RandomBits random_bits) : point_(point), random_bits_(random_bits) {}

  /// A point mixed from `address` and `salt`, known to no document.
  static std::uint64_t mixed(const void* address, std::uint64_t salt);

  /// The low 32 bits of the hash of `key`.
  std::uint32_t hash(std::string_view key) const;
  /// Draws a point from the source, or mixes one from `address` where it refuses.
  void draw(const void* address, std::uint64_t salt);
  bool is_drawn() const { return drawn_; }

 private:
  /// `hash` of a key of more than seven bytes.
  std::uint32_t hash_long(std::string_view key) const;

  std::uint64_t point_;
  RandomBits random_bits_;
  bool drawn_ = false;
};

/// An open-addressing table of keys found again by their offsets in one
/// attribute list, each slot the offset and 32 bits of the key's hash, so that a
/// probe rereads a key only when those bits match. It doubles as it passes
/// three quarters full, so that a quarter of it is always empty and ends every
/// probe: 11 to 21 bytes for each key.
class KeyTable {
 public:
  enum class Insert { added, found, probe_too_long };

  /// Empties the table, with room for `keys` keys before it grows.
  void reset(std::size_t keys);
  /// Adds the key at `offset` of `list`, whose hash is `hash`, unless an equal
  /// key is there or the probe passes `longest_probe` slots first.
  Insert insert(std::string_view list, std::size_t offset, std::uint32_t hash, std::size_t longest_probe) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = hash & mask;
    for (std::size_t probed = 0; slots_[slot].offset_after != 0; ++probed, slot = (slot + 1) & mask) {
      const Slot kept = slots_[slot];
      if (kept.hash == hash && same_key(key_at(list, kept.offset_after - 1), key_at(list, offset))) {
        return Insert::found;
      }
      if (probed == longest_probe) return Insert::probe_too_long;
    }
    slots_[slot] = {static_cast<std::uint32_t>(offset + 1), hash};
    if (++count_ > slots_.size() / 4 * 3) move_into(2 * slots_.size());  // past three quarters full
    return Insert::added;
  }
  /// Places every key again by its hash at `point`.
  void rehash(std::string_view list, const HashPoint& point);

 private:
  struct Slot {
    std::uint32_t offset_after;  // the key's offset plus one; 0 for an empty slot
    std::uint32_t hash;
  };
  /// Moves the keys into a table of `capacity` slots, each placed by the hash it keeps.
  void move_into(std::size_t capacity);

  std::vector<Slot> slots_;
  std::size_t count_ = 0;
};

/// The keys of one tag's attribute list met so far past the first ones, for a
/// list short enough that its set stays in the caches.
///
/// Drawing a point from the kernel is a system call of about half a
/// microsecond: paid at every tag of 17 keys, it would let a document of such
/// tags spend more time in the kernel than it is allowed for its reading. A set
/// starts at a point mixed from its own address; the first probe that passes
/// `LONGEST_PROBE` slots, which random points make rare, draws the point and
/// hashes the keys met so far again. So before that draw no probe passes
/// `LONGEST_PROBE` slots, and after it the bound of `HashPoint` holds.
class KeySet {
 public:
  /// An empty set over the keys of `list`, an attribute list of fewer than 4 GiB
  /// that lies in a `common::PaddedBytes` document.
  explicit KeySet(std::string_view list);
  /// The same at `point`, drawing the next from `random_bits`, for tests: at 0
  /// every key hashes alike until the first long probe draws another point.
  KeySet(std::string_view list, std::uint64_t point, RandomBits random_bits = kernel_random_bits);

  /// Adds the key of `length` bytes at `offset` of the list. Whether an equal key
  /// was there already, in which case the set is unchanged.
  bool insert(std::size_t offset, std::size_t length);

 private:
  static constexpr std::size_t LONGEST_PROBE = 32;

  std::string_view list_;
  HashPoint point_;
  KeyTable table_;
};

/// All the keys of one long attribute list, met in document order, to find the
/// first that repeats an earlier one: the duplicate check of a tag too long for
/// a `KeySet` to stay in the caches, where each insertion would wait on memory.
///
/// Each key is hashed at a point drawn once for the batch, while the list is
/// read in order, and its hash and offset (8 bytes) go to one of 64 partitions
/// by the hash's high bits. Equal keys share a partition, so each partition is
/// then searched alone, in document order, with a `KeyTable` small enough to
/// stay in the caches: memory is read and written in sequence, never at random
/// across the whole list. The table holds the partition's distinct keys, the
/// first repeat ending the search, so a partition of one key met a million
/// times needs no more room than others.
///
/// The keys added so far are searched each time their number doubles, from
/// `FIRST_SEARCH_ROUND` on, so that a list of repeats stops being read soon
/// after its first: what the batch holds follows the keys before the first
/// repeat, twice their number at most, for twice the work of one search.
class KeyBatch {
 public:
  /// An empty batch over the keys of `list`, an attribute list of fewer than
  /// 4 GiB that lies in a `common::PaddedBytes` document.
  explicit KeyBatch(std::string_view list, RandomBits random_bits = kernel_random_bits);
  /// The same at `point` (below 2^61 - 1), for tests: at 0 every key collides.
  KeyBatch(std::string_view list, std::uint64_t point);

  /// Adds the key of `length` bytes at `offset` of the list, after every key
  /// added before it in the list. The offset of the first key that repeats an
  /// earlier one, where a search made now finds one: no key after this one
  /// can change it.
  std::optional<std::size_t> add(std::size_t offset, std::size_t length);

  /// The offset of the first key added that equals one added before it, or
  /// nullopt when all differ.
  std::optional<std::size_t> first_repeat();

 private:
  struct Entry {
    std::uint32_t hash;
    std::uint32_t offset;
  };
  static constexpr std::size_t PARTITION_BITS = 6;
  static constexpr std::size_t FIRST_SEARCH_ROUND = 4096;
  // A search table starts with room for this many keys more than a
  // partition's share, and grows.
  static constexpr std::size_t FIRST_SEARCH_KEYS = 1024;

  static constexpr std::size_t CHUNK_ENTRIES = 512;
  /// The keys of one partition in the order added, in chunks that are never
  /// copied: 8 bytes for each key, and at most a chunk unused.
  struct Partition {
    std::vector<std::unique_ptr<Entry[]>> chunks;
    std::size_t last_chunk_entries = CHUNK_ENTRIES;  // full: the next entry starts a chunk

    void push_back(Entry entry);
    std::size_t size() const { return chunks.size() * CHUNK_ENTRIES - (CHUNK_ENTRIES - last_chunk_entries); }
  };

  /// The offset of the first key of `partition` that repeats one before it
  /// there, if it lies before `before`, else `before`.
  std::size_t first_repeat_in(const Partition& partition, std::size_t first_room, std::size_t before);

  std::string_view list_;
  HashPoint point_;
  std::array<Partition, std::size_t{1} << PARTITION_BITS> partitions_;
  std::size_t keys_ = 0;
  std::size_t next_search_round_ = FIRST_SEARCH_ROUND;  // in keys added
  // One partition's table at a time, its room kept from one search to the next.
  KeyTable search_table_;
};

}  // namespace quellan::tarn::pak
