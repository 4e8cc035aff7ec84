#include "tarn/pak/key_set.h"

#include <x86intrin.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

namespace {

// The shortest attribute is four bytes: `=""` after white space, or after the
// value before it.
constexpr std::size_t SHORTEST_ATTRIBUTE = 4;

/// Room for every key that `list` can hold at most half full, so that probes end
/// at once and the table never grows: memory within twice the list's size.
std::size_t slots_for(std::string_view list) {
  return std::bit_ceil(2 * (list.size() / SHORTEST_ATTRIBUTE + 1));
}

// Keys are hashed as polynomials over the field of integers modulo this prime,
// evaluated at the secret point, seven bytes to a coefficient, with the length
// first and no constant term. Two different keys of at most n coefficients
// differ by a polynomial of degree n + 1 at most that is not zero, and it takes
// any one value at n + 1 points at most: whatever keys a document chooses, two
// of them share a slot of a table of m slots with a chance below 2(n + 1)/m.
// Each coefficient costs one multiplication, where a keyed pseudo-random
// function would cost a few dozen instructions.
constexpr std::uint64_t PRIME = (std::uint64_t{1} << 61) - 1;
constexpr std::size_t COEFFICIENT_BYTES = 7;

__extension__ using Product = unsigned __int128;  // GCC's, for one multiplication

std::uint64_t multiply_modulo_prime(std::uint64_t a, std::uint64_t b) {
  const Product product = static_cast<Product>(a) * b;
  const std::uint64_t folded = (static_cast<std::uint64_t>(product) & PRIME) +
                               static_cast<std::uint64_t>(product >> 61);
  return folded >= PRIME ? folded - PRIME : folded;
}

/// The up to seven bytes of `key` from `offset` on, as a number below the prime.
/// Reads a whole word, which the padding behind the list allows.
std::uint64_t coefficient_at(std::string_view key, std::size_t offset) {
  std::uint64_t word;
  std::memcpy(&word, key.data() + offset, sizeof word);
  const std::size_t bytes = std::min(key.size() - offset, COEFFICIENT_BYTES);
  return word & ((std::uint64_t{1} << (8 * bytes)) - 1);  // little-endian: the low bytes
}

/// A point of the field that no document can know: the time-stamp counter differs
/// from one set to the next, and the set's address is mixed in.
std::uint64_t secret_point(const void* set) {
  const std::uint64_t mixed =
      std::rotl(__rdtsc() * 0x9E3779B97F4A7C15u, 29) ^ reinterpret_cast<std::uintptr_t>(set);
  return mixed % (PRIME - 1) + 1;
}

}  // namespace

KeySet::KeySet(std::string_view list)
    : list_(list),
      secret_(secret_point(this)),
      mask_(slots_for(list) - 1),
      slots_(static_cast<std::uint32_t*>(std::calloc(mask_ + 1, sizeof(std::uint32_t)))) {
  if (!slots_) throw std::bad_alloc();
}

bool KeySet::insert(std::size_t offset, std::size_t length) {
  const std::string_view key = list_.substr(offset, length);
  const std::size_t slot = find_slot(key);
  if (slots_[slot] != EMPTY) return true;
  slots_[slot] = static_cast<std::uint32_t>(offset + 1);
  return false;
}

std::uint64_t KeySet::hash(std::string_view key) const {
  std::uint64_t value = multiply_modulo_prime(key.size(), secret_);
  for (std::size_t offset = 0; offset < key.size(); offset += COEFFICIENT_BYTES) {
    value = multiply_modulo_prime(value + coefficient_at(key, offset), secret_);
  }
  return value % PRIME;  // each step leaves it below 2^63, equal modulo the prime
}

std::size_t KeySet::find_slot(std::string_view key) const {
  for (std::size_t slot = hash(key) & mask_;; slot = (slot + 1) & mask_) {
    if (slots_[slot] == EMPTY) return slot;
    // The key kept there is equal when it has the same bytes and ends after them.
    const std::size_t kept = slots_[slot] - 1;
    if (list_.substr(kept, key.size()) == key && kept + key.size() < list_.size() &&
        (list_[kept + key.size()] == '=' || is_xml_white_space(list_[kept + key.size()]))) {
      return slot;
    }
  }
}

}  // namespace quellan::tarn::pak
