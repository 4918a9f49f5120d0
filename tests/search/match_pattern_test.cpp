#include "search/match_pattern.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"

namespace bkf {
namespace {

constexpr std::u16string_view kPath = u"BKF\\BACKUP SET 1(Daily)\\Data\\report.txt";

struct Case {
    const char* name;
    std::u16string_view text;
    std::u16string_view pattern;
    bool matches;
};

void expectCases(std::initializer_list<Case> cases) {
    for (const Case& c : cases) {
        EXPECT_EQ(matchPattern(c.text, c.pattern), c.matches)
            << c.name << ": '" << utf16ToUtf8(c.pattern) << "' on '" << utf16ToUtf8(c.text) << "'";
    }
}

TEST(MatchPattern, PlainStringsAreFoundAnywhereAndCaseCounts) {
    expectCases({
        {"a word inside a name", kPath, u"report", true},
        {"the whole name", kPath, u"report.txt", true},
        {"a folder in the middle", kPath, u"SET 1(Daily)", true},
        {"the whole path", kPath, kPath, true},
        {"upper case differs from lower", kPath, u"Report", false},
        {"extension in upper case", kPath, u"TXT", false},
        {"longer than the path", u"abc", u"abcd", false},
        {"accented letters differ by case too", u"BKF\\\u00DCbersicht.txt", u"\u00FCbersicht", false},
        {"accented letter in its own case", u"BKF\\\u00DCbersicht.txt", u"\u00DCbersicht", true},
    });
}

TEST(MatchPattern, EmptyTextOrPatternNeverMatches) {
    expectCases({
        {"empty pattern", kPath, u"", false},
        {"empty text, plain pattern", u"", u"a", false},
        {"empty text, lone star", u"", u"*", false},
        {"empty text, star dot star", u"", u"*.*", false},
        {"both empty", u"", u"", false},
    });
}

TEST(MatchPattern, StarsAndExtensions) {
    expectCases({
        {"lone star", kPath, u"*", true},
        {"star dot star", kPath, u"*.*", true},
        {"star dot star needs a dot", u"BKF\\Data\\README", u"*.*", false},
        {"star dot star on a lone dot", u".", u"*.*", true},
        {"star dot star takes a dot in a folder name", u"BKF\\v1.2\\README", u"*.*", true},
        {"extension", kPath, u"*.txt", true},
        {"name between stars", kPath, u"*report*", true},
        {"root, star, extension", kPath, u"BKF*.txt", true},
        {"extension in the wrong case", kPath, u"*.TXT", false},
        {"other extension", kPath, u"*.doc", false},
        {"doubled stars", kPath, u"**", true},
        {"star then only wildcards", kPath, u"*?*?", true},
    });
}

TEST(MatchPattern, LiteralsBeforeTheFirstStarAreAnchoredAtTheStart) {
    expectCases({
        {"name start then star", kPath, u"rep*", false},
        {"root then star fits every row", kPath, u"BKF*", true},
        {"root then star, another row", u"BKF\\x", u"BKF*", true},
        {"root in the wrong case", kPath, u"bkf*", false},
        {"a trailing star needs no character", u"a", u"a*", true},
        {"trailing stars are one star", u"a", u"a***", true},
    });
}

TEST(MatchPattern, QuestionMarkTakesOneCharacterAnchoredAtTheStartOnly) {
    expectCases({
        {"first character any", kPath, u"?KF", true},
        {"character after the root", kPath, u"BKF?", true},
        {"not anchored at the end", u"abcdef", u"a?c", true},
        {"last one taken", u"abc", u"ab?", true},
        {"more follows", u"abcdef", u"ab?", true},
        {"nothing left for the question mark", u"ab", u"ab?", false},
        {"not found in the middle", kPath, u"?eport", false},
        {"wrong character after it", kPath, u"?KX", false},
        {"lone question mark", u"x", u"?", true},
    });
}

TEST(MatchPattern, StarTakesAtLeastOneCharacter) {
    expectCases({
        {"one character before", u"ab", u"*b", true},
        {"nothing before", u"x", u"*x", false},
        {"nothing between two segments", u"xab", u"*a*b", false},
        {"one character between", u"xayb", u"*a*b", true},
        {"a star in the middle", u"abxc", u"ab*c", true},
        {"nothing for a star in the middle", u"abc", u"ab*c", false},
    });
}

// Consequences of how the walk is built, kept so that a search string finds
// the same entries it always has.
TEST(MatchPattern, WalkKeepsItsOwnRules) {
    expectCases({
        // A "?" after a star gives up once the walk has gone further into the
        // path than the pattern is long.
        {"question mark far into a long path", kPath, u"*rep?rt.txt", false},
        {"same segment near the start", u"report.txt", u"*o?t*", true},
        {"same segment far into the path", kPath, u"*o?t*", false},
        {"the bound counts the pattern after trailing stars are merged", u"xxxbyz", u"*b?**", false},
        {"and within it the question mark is fine", u"xxbyz", u"*b?**", true},
        // Wildcards after a star, then the last character: only the path's end counts.
        {"star, question mark, last character", kPath, u"*?t", true},
        {"star, question mark, last character in another case", kPath, u"*?T", false},
        {"star, question mark, last character, one-character path", u"x", u"*?x", true},
        // When a star takes the path's last character, the character after the
        // star is sought from its pattern position (as a path position).
        {"last character sought from its pattern position", u"xxab", u"*a*b", true},
        // A "?" after a star is not part of the segment the last character ends.
        {"question mark left out of the end segment", u"report", u"*e?o", false},
        {"the same without the end anchor", u"report", u"*e?o*", true},
        // A segment after a star is sought again from the character the star
        // took, so there the star may take nothing.
        {"segment at the star's character", u"ab", u"*ab", true},
        {"root after a leading star", kPath, u"*BKF*", true},
        // A final "?" takes exactly the path's last character.
        {"final question mark after a segment", kPath, u"*.tx?", true},
        {"final question mark one short of the end", kPath, u"*.t?", false},
        // Pattern characters still to come need path characters, even when
        // the last of them is a star.
        {"two question marks, one character", u"a", u"??*", false},
        {"two question marks, two characters", u"ab", u"??*", true},
        {"segment at the path's end, more pattern", u"xa", u"*a*?", false},
        {"segment before the path's end, more pattern", u"xab", u"*a*?", true},
        {"segment found only at the path's end, then a star", u"xxa", u"*a*", false},
        {"segment met under the walk, then a star", u"xab", u"*a*", true},
    });
}

TEST(MatchPattern, StopOrClosingFlagGivesNoMatchDuringTheWalk) {
    const std::atomic<bool> clear{false};
    const std::atomic<bool> set{true};
    for (std::u16string_view pattern : {u"*.txt", u"*report*", u"BKF*.txt", u"?KF", u"BKF?", u"**"}) {
        const std::string name = utf16ToUtf8(pattern);
        EXPECT_TRUE(matchPattern(kPath, pattern, MatchStopFlags{&clear, &clear})) << name;
        EXPECT_TRUE(matchPattern(kPath, pattern, &clear)) << name;
        EXPECT_FALSE(matchPattern(kPath, pattern, &set)) << name << " with the stop flag";
        EXPECT_FALSE(matchPattern(kPath, pattern, MatchStopFlags{&set, nullptr})) << name << " with the closing flag";
        EXPECT_FALSE(matchPattern(kPath, pattern, MatchStopFlags{nullptr, &set})) << name << " with the stop flag";
    }
}

// Every text of up to `maxLength` characters over `alphabet`.
std::vector<std::u16string> allTexts(std::u16string_view alphabet, std::size_t maxLength) {
    std::vector<std::u16string> out{u""};
    for (std::size_t from = 0, length = 1; length <= maxLength; ++length) {
        const std::size_t to = out.size();
        for (std::size_t i = from; i < to; ++i) {
            for (char16_t c : alphabet) out.push_back(out[i] + c);
        }
        from = to;
    }
    return out;
}

// A pattern without a star fits when the text is at least as long and begins
// with it, "?" standing for any character.
bool fitsAtStart(std::u16string_view text, std::u16string_view pattern) {
    if (text.size() < pattern.size()) return false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != u'?' && pattern[i] != text[i]) return false;
    }
    return true;
}

TEST(MatchPattern, WithoutStarsQuestionMarksMakeAPrefixTest) {
    const auto texts = allTexts(u"ab", 5);
    for (const auto& pattern : allTexts(u"ab?", 4)) {
        if (pattern.empty()) continue;
        const bool plain = pattern.find(u'?') == std::u16string::npos;
        for (const auto& text : texts) {
            const bool expected =
                !text.empty() && (plain ? text.find(pattern) != std::u16string::npos : fitsAtStart(text, pattern));
            ASSERT_EQ(matchPattern(text, pattern), expected)
                << "'" << utf16ToUtf8(pattern) << "' on '" << utf16ToUtf8(text) << "'";
        }
    }
}

// The text and pattern are copied into buffers of exactly their length, so
// that the address sanitizer sees a read even one code unit past either end.
bool matchExact(std::u16string_view text, std::u16string_view pattern) {
    auto t = std::make_unique<char16_t[]>(text.size() + (text.empty() ? 1 : 0));
    auto p = std::make_unique<char16_t[]>(pattern.size() + (pattern.empty() ? 1 : 0));
    std::copy(text.begin(), text.end(), t.get());
    std::copy(pattern.begin(), pattern.end(), p.get());
    return matchPattern({t.get(), text.size()}, {p.get(), pattern.size()});
}

// What must hold for any text and pattern.
void checkInvariants(std::u16string_view text, std::u16string_view pattern) {
    const bool result = matchExact(text, pattern);
    const auto show = [&] { return "'" + utf16ToUtf8(pattern) + "' on '" + utf16ToUtf8(text) + "'"; };
    if (text.empty() || pattern.empty()) {
        ASSERT_FALSE(result) << show();
    }
    const bool wildcards = pattern.find_first_of(u"*?") != std::u16string_view::npos;
    const bool literalFirst = !pattern.empty() && pattern[0] != u'*' && pattern[0] != u'?';
    if (result && wildcards && literalFirst) {
        ASSERT_EQ(text[0], pattern[0]) << "not anchored: " << show();
    }
    // Trailing stars count as one.
    std::u16string oneStar(pattern);
    oneStar += u'*';
    if (oneStar != u"*.*") {
        ASSERT_EQ(matchExact(text, oneStar + u"*"), matchExact(text, oneStar)) << show() << " plus stars";
    }
}

TEST(MatchPattern, AnyShortTextAndPatternIsSafe) {
    const auto texts = allTexts(u"ab.", 4);
    for (const auto& pattern : allTexts(u"ab*?.", 5)) {
        for (const auto& text : texts) {
            checkInvariants(text, pattern);
            if (HasFatalFailure()) return;
        }
    }
}

TEST(MatchPattern, RandomLongTextsAndPatternsAreSafe) {
    const std::u16string alphabet = u"ab.*?\\ \u00E9\xD800\xDC00\xFFFF";
    std::mt19937 random(20240607);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<std::size_t> length(0, 60);
    auto randomText = [&](bool wildcards) {
        std::u16string s(length(random), u'a');
        for (auto& c : s) {
            do c = alphabet[pick(random)];
            while (!wildcards && (c == u'*' || c == u'?'));
        }
        return s;
    };
    for (int i = 0; i < 20000; ++i) {
        const std::u16string text = randomText(i % 2 == 0);
        std::u16string pattern = randomText(true);
        if (i % 3 == 0 && pattern.size() > 4) pattern = text.substr(0, pattern.size() / 2) + u"*" + pattern;
        checkInvariants(text, pattern);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
}  // namespace bkf
