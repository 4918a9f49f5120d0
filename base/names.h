// The rule every set, folder and file name the scan keeps obeys: none of the
// characters a display path reserves, and no line end.
#pragma once

#include <cstdint>
#include <string_view>

namespace bkf {

// The seven characters that no set, folder or file name in a display path holds.
inline constexpr std::u16string_view kForbiddenNameChars = u"/|*:?<>";

// True if and only if `text` holds none of "/|*:?<>" and no line end (CR or
// LF: a recovery snapshot keeps one entry a line, so a name holding one
// could not be kept).
// Every scanned name passes here: one look per code unit. The characters a
// clean name lacks below U+0040 are one bit each; the only one above is "|".
inline bool isCleanName(std::u16string_view text) {
    constexpr std::uint64_t kLowForbidden = [] {
        std::uint64_t bits = (std::uint64_t{1} << u'\r') | (std::uint64_t{1} << u'\n');
        for (char16_t c : kForbiddenNameChars) {
            if (c < 64) bits |= std::uint64_t{1} << c;
        }
        return bits;
    }();
    static_assert(kForbiddenNameChars.find_first_not_of(u"/*:?<>|") == std::u16string_view::npos,
                  "isCleanName knows every forbidden character above U+0040");
    for (const char16_t c : text) {
        if (c < 64 ? ((kLowForbidden >> c) & 1) != 0 : c == u'|') return false;
    }
    return true;
}

}  // namespace bkf
