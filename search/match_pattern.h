// The rule by which a search string fits a display path.
//
// A string without wildcards is found anywhere in the path. A string with "*"
// or "?" is walked against the path from its first character: literal
// characters before the first star are compared from the start of the path, a
// star followed by something generally takes at least one character, and "?"
// takes one. The walk has quirks of its own (the steps in matchPattern say
// which), and the search keeps them so that a search string finds the same
// entries it always has. Comparisons are by whole UTF-16 code units, so upper and lower
// case differ.
#pragma once

#include <atomic>
#include <string_view>

namespace bkf {

// The flags a running match polls: the search dialog's closing flag and its
// stop flag. Either may be null. Once one is set, a walk in progress ends
// with "no match" at its next step.
struct MatchStopFlags {
    const std::atomic<bool>* closing = nullptr;
    const std::atomic<bool>* stop = nullptr;

    bool raised() const noexcept {
        return (closing && closing->load(std::memory_order_relaxed)) || (stop && stop->load(std::memory_order_relaxed));
    }
};

// Whether `pattern` fits `text`. Empty text or an empty pattern never fits.
// Any text and pattern are safe: the walk reads nothing outside either and
// takes at most one step per pattern character.
bool matchPattern(std::u16string_view text, std::u16string_view pattern, MatchStopFlags flags);

inline bool matchPattern(std::u16string_view text, std::u16string_view pattern,
                         const std::atomic<bool>* stop = nullptr) {
    return matchPattern(text, pattern, MatchStopFlags{nullptr, stop});
}

}  // namespace bkf
