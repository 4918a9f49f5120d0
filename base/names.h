// The rule every set, folder and file name the scan keeps obeys: none of the
// characters a display path reserves, and no line end.
#pragma once

#include <string_view>

namespace bkf {

// The seven characters that no set, folder or file name in a display path holds.
inline constexpr std::u16string_view kForbiddenNameChars = u"/|*:?<>";

// True if and only if `text` holds none of "/|*:?<>" and no line end (CR or
// LF: a recovery snapshot keeps one entry a line, so a name holding one
// could not be kept).
inline bool isCleanName(std::u16string_view text) {
    return text.find_first_of(kForbiddenNameChars) == std::u16string_view::npos &&
           text.find_first_of(u"\r\n") == std::u16string_view::npos;
}

}  // namespace bkf
