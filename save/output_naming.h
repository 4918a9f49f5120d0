// Naming rules that every display path obeys: the characters no name made by
// the scan may hold, and the check of the folder-name prefix.
#pragma once

#include <string_view>

namespace bkf {

// The seven characters that no set, folder or file name in a display path holds.
inline constexpr std::u16string_view kForbiddenNameChars = u"/|*:?<>";

// True if and only if `text` holds none of "/|*:?<>".
bool isCleanName(std::u16string_view text);

}  // namespace bkf
