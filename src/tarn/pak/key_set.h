#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace quellan::tarn::pak {

/// The keys of one tag's attribute list met so far, for the duplicate check of
/// tags with many attributes. Each key is found again by its offset in the list,
/// where it runs to the white space or `=` that ends every key. A hash table keyed
/// by a secret that each set draws from the processor's time-stamp counter keeps
/// them: a document cannot know the secret, so it cannot steer its keys into one
/// chain, and each check costs time in proportion to its key's length. The table
/// is sized once for the most keys the list can hold.
class KeySet {
 public:
  /// An empty set over the keys of `list`, an attribute list of fewer than 4 GiB
  /// that lies in a `common::PaddedBytes` document, so that a key may be read a
  /// word at a time past its end.
  explicit KeySet(std::string_view list);

  /// Adds the key of `length` bytes at `offset` of the list. Whether an equal key
  /// was there already, in which case the set is unchanged.
  bool insert(std::size_t offset, std::size_t length);

 private:
  std::uint64_t hash(std::string_view key) const;
  /// The slot that holds a key equal to `key`, or the empty one where it belongs.
  std::size_t find_slot(std::string_view key) const;

  static constexpr std::uint32_t EMPTY = 0;  // slots hold a key's offset plus one

  struct Free {
    void operator()(std::uint32_t* slots) const noexcept { std::free(slots); }
  };

  std::string_view list_;
  std::uint64_t secret_;
  std::size_t mask_;
  // Zeroed by `calloc`, which takes a large table as fresh pages that are zero
  // already instead of writing every slot: a table sized for the most keys is
  // mostly left untouched by a list of few.
  std::unique_ptr<std::uint32_t[], Free> slots_;
};

}  // namespace quellan::tarn::pak
