#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/random_bits.h"

namespace quellan::tarn::pak {

/// 64 random bits, or nullopt where the source refuses them.
using RandomBits = std::optional<std::uint64_t> (*)();

using platform::kernel_random_bits;

/// The keys of one tag's attribute list met so far, for the duplicate check of
/// tags with many attributes. Each key is found again by its offset in the list,
/// where it runs to the white space or `=` that ends every key.
///
/// An open-addressing table holds them, each slot the key's offset and 32 bits
/// of its hash, so that a probe rereads a key only when those bits match. The
/// table grows as keys come, doubling once it is three quarters full: its size
/// follows the keys the tag has, 11 to 21 bytes for each of them.
///
/// Keys are hashed as polynomials modulo the prime 2^61 - 1 at a point of the
/// field, a coefficient for each seven bytes (see `hash_key`). For a point drawn
/// at random, two different keys of at most n coefficients agree in the 32 kept
/// bits with a chance below 2(n + 1)/2^32, and share a home slot of a table of
/// m slots with a chance below 2(n + 1)/m, whatever keys the document chooses:
/// keys spread as random ones would, pair by pair, and a key is reread only for
/// the rare false match.
///
/// Drawing a point from the kernel is a system call of about half a
/// microsecond: paid at every tag of 17 keys, it would let a document of such
/// tags spend more time in the kernel than it is allowed for its reading. A set
/// starts at a point mixed from its own address, which a document cannot see;
/// the first probe that passes `LONGEST_PROBE` slots, which random points make
/// rare, draws the point from the kernel and rehashes the keys met so far. So
/// before that draw no probe passes more than `LONGEST_PROBE` slots, and after
/// it the bound above holds. Where the kernel refuses, the point is mixed
/// again from the address and the keys counted: weaker against a document
/// that could guess it, never wrong. Answers never depend on the point.
class KeySet {
 public:
  /// An empty set over the keys of `list`, an attribute list of fewer than 4 GiB
  /// that lies in a `common::PaddedBytes` document, so that a key may be read a
  /// word at a time past its end.
  explicit KeySet(std::string_view list);

  /// The same, starting at `point` (below 2^61 - 1) and drawing the next from
  /// `random_bits`, for tests: at 0 every key hashes alike until the first long
  /// probe draws another point.
  KeySet(std::string_view list, std::uint64_t point, RandomBits random_bits = kernel_random_bits);

  /// Adds the key of `length` bytes at `offset` of the list. Whether an equal key
  /// was there already, in which case the set is unchanged.
  bool insert(std::size_t offset, std::size_t length);

 private:
  struct Slot {
    std::uint32_t offset_after;  // the key's offset plus one; 0 for an empty slot
    std::uint32_t hash;
  };
  struct Free {
    void operator()(Slot* slots) const noexcept { std::free(slots); }
  };
  using Slots = std::unique_ptr<Slot[], Free>;

  // A probe this long draws the point from the kernel, once.
  static constexpr std::size_t LONGEST_PROBE = 32;
  // Room for the 16 keys the attribute cursor compares itself and the 17th.
  static constexpr std::size_t FIRST_CAPACITY = 32;

  static Slots allocate(std::size_t capacity);

  /// The low 32 bits of the hash of `key` at the set's point.
  inline std::uint32_t hash_key(std::string_view key) const;
  /// Whether the key kept at `kept` of the list equals `key`.
  bool holds_key(std::size_t kept, std::string_view key) const;
  /// The key kept at `kept` of the list, up to the byte that ends it.
  std::string_view key_at(std::size_t kept) const;
  /// `insert` after a long probe: draws a point and inserts again.
  [[gnu::noinline, gnu::cold]] bool insert_at_new_point(std::size_t offset, std::size_t length);
  void add(std::size_t slot, std::size_t offset, std::uint32_t hash);
  /// Moves every key into a table of `capacity` slots, hashing each again at the
  /// current point when `rehash`, else placing it by the hash it keeps.
  void move_into(std::size_t capacity, bool rehash);
  /// Draws a point from the kernel, or mixes one where it refuses, and rehashes.
  void redraw_point();

  std::string_view list_;
  std::uint64_t point_;
  RandomBits random_bits_;
  bool point_settled_ = false;  // drawn again after a long probe
  std::size_t mask_ = FIRST_CAPACITY - 1;
  std::size_t count_ = 0;
  // Zeroed by `calloc`, which may take a large table as fresh pages that are
  // zero already instead of writing every slot.
  Slots slots_;
};

/// All the keys of one long attribute list, met in document order, to find the
/// first that repeats an earlier one: the duplicate check of a tag too long for
/// a `KeySet` to stay in the caches, where each insertion would wait on memory.
///
/// Each key is hashed as a `KeySet` hashes it, at a point drawn from the kernel
/// once for the batch, while the list is read in order, and its hash and offset
/// (8 bytes) go to one of 64 partitions by the hash's high bits. Equal keys
/// share a partition, so each partition is then searched alone, in document
/// order, with a table small enough to stay in the caches: memory is read and
/// written in sequence, never at random across the whole list. The table holds
/// the partition's distinct keys, the first repeat ending the search, so a
/// partition of one key met a million times needs no more room than others.
///
/// The keys added so far are searched each time their number doubles, from
/// `FIRST_SEARCH_ROUND` on, so that a list of repeats stops being read soon
/// after its first: what the batch holds follows the keys before the first
/// repeat, twice their number at most, for twice the work of one search.
class KeyBatch {
 public:
  /// An empty batch over the keys of `list`, an attribute list of fewer than
  /// 4 GiB that lies in a `common::PaddedBytes` document.
  explicit KeyBatch(std::string_view list);

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
  /// A key added, or kept in a search table.
  struct Entry {
    std::uint32_t hash;
    std::uint32_t offset_after;  // the key's offset plus one; 0 for an empty slot
  };
  static constexpr std::size_t PARTITION_BITS = 6;
  static constexpr std::size_t CHUNK_ENTRIES = 512;
  static constexpr std::size_t FIRST_SEARCH_ROUND = 4096;
  // A search table starts with room for this many keys more than a
  // partition's share, and grows.
  static constexpr std::size_t FIRST_SEARCH_KEYS = 1024;
  /// The hashes and offsets of one partition's keys in the order added. It
  /// grows by chunks and never copies: 8 bytes for each key, and at most a
  /// chunk unused.
  struct Partition {
    std::vector<std::unique_ptr<Entry[]>> chunks;
    std::size_t last_chunk_entries = CHUNK_ENTRIES;  // full: the next entry starts a chunk

    void push_back(Entry entry);
    std::size_t size() const;
    /// The entries of chunk `index`.
    std::span<const Entry> chunk(std::size_t index) const;
  };

  /// The offset of the first key of `partition` that repeats one before it
  /// there, if it lies before `before`, else `before`, searched with a table
  /// made for `first_room` keys at first.
  std::size_t first_repeat_in(const Partition& partition, std::size_t first_room, std::size_t before);
  /// Moves the keys of `table`, which is three quarters full, into one twice its size.
  static void grow(std::vector<Entry>& table);

  std::string_view list_;
  std::uint64_t point_;
  std::array<Partition, std::size_t{1} << PARTITION_BITS> partitions_;
  std::size_t keys_ = 0;
  std::size_t next_search_round_ = FIRST_SEARCH_ROUND;  // in keys added
  // One partition's search table at a time, its room kept from one search to
  // the next rather than given back to the heap and asked for again.
  std::vector<Entry> search_table_;
};

}  // namespace quellan::tarn::pak
