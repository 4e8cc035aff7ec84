#include "tarn/pak/open_elements.h"

#include <cstdlib>

namespace quellan::tarn::pak {

void OpenElements::push(std::size_t offset) {
  std::size_t distance = offset - innermost_.value_or(0);
  std::uint8_t marker = FIRST_GROUP;
  do {
    distances_.push_back(static_cast<std::uint8_t>(marker | (distance & 0x7F)));
    distance >>= 7;
    marker = 0;
  } while (distance != 0);
  innermost_ = offset;
}

void OpenElements::pop() {
  if (!innermost_) std::abort();  // a caller bug, not a document fault
  std::size_t first = distances_.size() - 1;
  while ((distances_[first] & FIRST_GROUP) == 0) --first;
  std::size_t distance = 0;
  for (std::size_t i = distances_.size(); i-- > first;) {
    distance = (distance << 7) | (distances_[i] & 0x7F);
  }
  distances_.resize(first);
  if (distances_.empty()) {
    innermost_.reset();
  } else {
    *innermost_ -= distance;
  }
}

}  // namespace quellan::tarn::pak
