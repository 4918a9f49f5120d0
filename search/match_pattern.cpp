#include "search/match_pattern.h"

#include <cstddef>
#include <string>

namespace bkf {

namespace {

constexpr std::size_t npos = std::u16string_view::npos;

bool isWildcard(char16_t c) {
    return c == u'*' || c == u'?';
}

}  // namespace

// Positions count code units from 0. A text position at or past the end of
// the text holds no character and equals no pattern character, so every read
// of the text below is guarded by `t < n`.
bool matchPattern(std::u16string_view text, std::u16string_view pattern, MatchStopFlags flags) {
    // 1. Nothing fits an empty path, and an empty search string finds nothing.
    if (text.empty() || pattern.empty()) return false;

    // 2. A pattern without a star needs at least one path character for each
    // of its characters ("?" included), so a shorter path cannot fit.
    const bool hasStar = pattern.find(u'*') != npos;
    if (!hasStar && text.size() < pattern.size()) return false;

    // 3. A lone star lists every entry.
    if (pattern == u"*") return true;

    // 4. "*.*" is the dialog's initial string and means "any name with an
    // extension": any dot anywhere in the path, however far from its end.
    if (pattern == u"*.*") return text.find(u'.') != npos;

    // 5. A plain string is found anywhere: the user typed part of a name.
    if (!hasStar && pattern.find(u'?') == npos) return text.find(pattern) != npos;

    // 6. The walk.
    // 6a. Stars at the end all mean "anything after this", so one stands for
    // them all; from here on the pattern's length is that of the shortened one.
    std::u16string_view pat = pattern;
    while (pat.size() >= 2 && pat[pat.size() - 1] == u'*' && pat[pat.size() - 2] == u'*') pat.remove_suffix(1);

    // 6b. `seg` holds the literal characters met since the last star, the
    // part of the path that must appear together; `afterStar` tells whether
    // the walk is still anchored at the start of the path.
    const std::size_t n = text.size();
    const std::size_t m = pat.size();
    std::size_t t = 0;
    std::size_t p = 0;
    std::u16string seg;
    bool afterStar = false;

    auto textEndsWithSeg = [&] { return text.ends_with(seg); };

    // 6c. Every step moves p forward by at least one pattern position, so the
    // walk takes at most m steps; the flags are polled before each so that a
    // stop is noticed within one step even on a long pattern.
    while (p < m) {
        if (flags.raised()) return false;
        const char16_t c = pat[p];

        if (c == u'*') {
            // 6d.1 A star starts a new segment: what came before is settled.
            seg.clear();
            afterStar = true;
            // 6d.2 A star at the end accepts whatever is left, even nothing.
            if (p + 1 == m) return true;
            // 6d.3 The star's target is the next literal character. "?" and
            // further stars after it do not consume characters of their own
            // here: they only widen the star.
            char16_t ch = 0;
            std::size_t before = 0;  // the pattern position just before ch
            if (!isWildcard(pat[p + 1])) {
                ch = pat[p + 1];
                before = p;
            } else {
                const std::size_t at = pat.find_first_not_of(u"*?", p + 1);
                if (at == npos) return true;  // only wildcards left: anything fits
                ch = pat[at];
                before = at - 1;
                // A run of wildcards before the last character only asks how
                // the path ends.
                if (at + 1 == m) return text[n - 1] == ch;
            }
            // 6d.4 A star takes at least one character.
            ++t;
            // 6d.5 While the path lasts, the next step looks for ch.
            if (t < n) {
                p = before + 1;
                continue;
            }
            // 6d.6 The path is used up. Only "...*ch" at the very end can still
            // fit, and then ch is sought from its pattern position taken as a
            // path position (find gives npos for a start past the end).
            if (before + 1 != m - 1 || pat[before] != u'*') return false;
            return text.find(ch, before + 1) != npos;
        }

        if (c == u'?') {
            // 6e.1 A final "?" takes exactly the last character, so the path
            // must end with the current segment plus one more character.
            if (p + 1 == m) return n > seg.size() && text.substr(0, n - 1).ends_with(seg);
            // 6e.2 The walk must not have run further into the path than the
            // pattern is long. Before any star t equals p, so this only limits
            // a "?" that follows a star.
            if (t + 1 > m) return false;
            // 6e.3 At least one more pattern character follows the next one,
            // so a path with no character after this one cannot fit.
            if (p + 2 < m && t + 1 >= n) return false;
            // 6e.4 "?" takes one character.
            ++t;
            ++p;
            continue;
        }

        if (!afterStar) {
            // 6f. Before the first star the walk is anchored: pattern and path
            // advance together (t equals p), one character each.
            if (t >= n || text[t] != c) return false;
            ++t;
            ++p;
            continue;
        }

        // 6g. After a star, a literal character extends the segment that
        // must be found in the path.
        if (t < n && text[t] == c) {
            // 6g.1 It is the character under the path position.
            if (p + 2 < m && t + 1 >= n) return false;  // more pattern than path left
            seg.push_back(c);
            if (p + 1 == m) return textEndsWithSeg();  // the last character anchors at the end
            ++t;
            ++p;
            continue;
        }
        // 6g.2 It is not: the star stretches further. Look for the whole
        // segment again, from one position back so that it may also begin at
        // the character the star took, and carry on after it.
        seg.push_back(c);
        if (p + 1 == m) return textEndsWithSeg();
        const std::size_t from = t - 1;  // t >= 1: the star before took a character
        const std::size_t found = text.find(seg, from);
        if (found == npos) return false;
        t = found + seg.size();
        if (t >= n) return false;  // the pattern goes on, the path does not
        ++p;
    }
    // 6h. The whole pattern fitted; what follows in the path does not matter.
    return true;
}

}  // namespace bkf
