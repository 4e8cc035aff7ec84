#pragma once

#include <string>
#include <string_view>

namespace quellan::tarn::pak {

/// `text`, a UTF-8 string, without the characters of Unicode's White_Space property
/// at either end; white space between other characters stays.
std::string_view trim_white_space(std::string_view text);

/// Trims `text` as `trim_white_space` does, in place.
void trim_white_space_in_place(std::string& text);

}  // namespace quellan::tarn::pak
