#pragma once

#include <expected>

namespace quellan::error {

/// What every fallible function of the library returns: its value, or the error
/// that prevented it. It is std::expected in all but one respect: a caller
/// cannot drop it. GCC 12's std::expected is not [[nodiscard]], so an ignored
/// failure would compile without a word; this one is, and the build turns the
/// `unused-result` diagnostic into an error.
template <class T, class E>
class [[nodiscard]] Expected : public std::expected<T, E> {
 public:
  using std::expected<T, E>::expected;
};

}  // namespace quellan::error
