// The search matcher over any text and pattern: it ends, reads nothing
// outside either, and agrees with a plain substring search when the pattern
// has no wildcard.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "search/match_pattern.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // First byte: where the pattern ends; the rest are code units, two bytes each.
    const std::size_t units = (size - 1) / 2;
    std::u16string all(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        // Fold bytes onto a few characters so that stars, marks and matches are common.
        const std::uint8_t lo = data[1 + 2 * i], hi = data[2 + 2 * i];
        all[i] = hi & 1 ? static_cast<char16_t>(lo | (hi << 8)) : static_cast<char16_t>(u"*?ab.\\c"[lo % 7]);
    }
    const std::size_t split = units == 0 ? 0 : data[0] % (units + 1);
    // Exact-size copies: the sanitizer sees any read past either end.
    const std::u16string pattern = all.substr(0, split);
    const std::u16string text = all.substr(split);
    const bool matched = bkf::matchPattern(text, pattern);
    if (pattern.find_first_of(u"*?") == std::u16string::npos && !text.empty() && !pattern.empty() &&
        matched != (text.find(pattern) != std::u16string::npos)) {
        std::abort();
    }
    return 0;
}
