#pragma once

#include <string_view>

#include "common/byte_buffer.h"

namespace quellan::raw::voka {

/// The contents of one stored file. `name` is a view into the file table it came
/// from, which must outlive it.
struct ModFile {
  std::string_view name;
  common::ByteBuffer data;
};

}  // namespace quellan::raw::voka
