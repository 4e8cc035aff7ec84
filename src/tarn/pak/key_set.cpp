#include "tarn/pak/key_set.h"

#include <x86intrin.h>

#include <bit>
#include <cstring>

#include "tarn/pak/xml_syntax.h"

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

/// SipHash-1-3 of `bytes` under the 128-bit `secret`: a keyed hash whose outputs
/// tell nothing that would let inputs be chosen to collide.
class SipHash {
 public:
  explicit SipHash(const std::uint64_t (&secret)[2])
      : v0_(secret[0] ^ 0x736f6d6570736575u),
        v1_(secret[1] ^ 0x646f72616e646f6du),
        v2_(secret[0] ^ 0x6c7967656e657261u),
        v3_(secret[1] ^ 0x7465646279746573u) {}

  std::uint64_t of(std::string_view bytes) && {
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= bytes.size(); i += sizeof(std::uint64_t)) {
      std::uint64_t word;
      std::memcpy(&word, bytes.data() + i, sizeof word);
      compress(word);
    }
    std::uint64_t last = static_cast<std::uint64_t>(bytes.size()) << 56;
    std::memcpy(&last, bytes.data() + i, bytes.size() - i);  // little-endian: the low bytes
    compress(last);
    v2_ ^= 0xFF;
    round();
    round();
    round();
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

 private:
  void compress(std::uint64_t word) {
    v3_ ^= word;
    round();
    v0_ ^= word;
  }

  void round() {
    v0_ += v1_;
    v1_ = std::rotl(v1_, 13) ^ v0_;
    v0_ = std::rotl(v0_, 32);
    v2_ += v3_;
    v3_ = std::rotl(v3_, 16) ^ v2_;
    v0_ += v3_;
    v3_ = std::rotl(v3_, 21) ^ v0_;
    v2_ += v1_;
    v1_ = std::rotl(v1_, 17) ^ v2_;
    v2_ = std::rotl(v2_, 32);
  }

  std::uint64_t v0_, v1_, v2_, v3_;
};

}  // namespace

// The counter differs from one set to the next and no document sees it: a secret
// without global state or a system call.
KeySet::KeySet(std::string_view list)
    : list_(list),
      secret_{__rdtsc(), std::rotl(__rdtsc() * 0x9E3779B97F4A7C15u, 29) ^ reinterpret_cast<std::uintptr_t>(this)},
      slots_(slots_for(list), EMPTY) {}

bool KeySet::insert(std::size_t offset, std::size_t length) {
  const std::string_view key = list_.substr(offset, length);
  const std::size_t slot = find_slot(key);
  if (slots_[slot] != EMPTY) return true;
  slots_[slot] = static_cast<std::uint32_t>(offset + 1);
  return false;
}

std::uint64_t KeySet::hash(std::string_view key) const { return SipHash(secret_).of(key); }

std::size_t KeySet::find_slot(std::string_view key) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = hash(key) & mask;; slot = (slot + 1) & mask) {
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
