#pragma once

#include <string>
#include <string_view>

namespace quellan::common {

/// Turns the raw bytes of a stored path into UTF-8 text for a message, replacing
/// each invalid UTF-8 sequence (its longest valid prefix) with U+FFFD.
std::string pathbuf_from_bytes(std::string_view bytes);

}  // namespace quellan::common
