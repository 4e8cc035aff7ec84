#pragma once

#include <string>

#include "common/byte_buffer.h"

namespace quellan::raw::voka {

/// The contents of one stored file and its name.
struct ModFile {
  std::string name;
  common::ByteBuffer data;
};

}  // namespace quellan::raw::voka
