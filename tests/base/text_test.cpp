#include "base/text.h"

#include <gtest/gtest.h>

#include <limits>

namespace bkf {
namespace {

TEST(Text, LeadingDigitParsing) {
    struct Case {
        std::u16string_view text;
        std::int64_t expected;
    };
    const Case cases[] = {
        {u"123", 123},
        {u"12abc", 12},
        {u"abc", 0},
        {u"", 0},
        {u"  42", 42},
        {u"-17", -17},
        {u"+5", 5},
        {u"-", 0},
        {u"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
        {u"9223372036854775808", std::numeric_limits<std::int64_t>::max()},
        {u"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
        {u"-99999999999999999999", std::numeric_limits<std::int64_t>::min()},
        {u"5368709120", 5368709120LL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseLeadingInt64(c.text), c.expected) << std::string(c.text.begin(), c.text.end());
    }
}

TEST(Text, CanonicalDecimalFormOnly) {
    std::int64_t v = 0;
    EXPECT_TRUE(parseCanonicalInt64(u"0", v));
    EXPECT_TRUE(parseCanonicalInt64(u"-1", v) && v == -1);
    EXPECT_TRUE(parseCanonicalInt64(u"-9223372036854775808", v) && v == std::numeric_limits<std::int64_t>::min());
    for (std::u16string_view bad :
         {u"", u"007", u"-0", u"+5", u" 5", u"5 ", u"12abc", u"-", u"9223372036854775808", u"\uFF15"}) {
        EXPECT_FALSE(parseCanonicalInt64(bad, v)) << std::string(bad.begin(), bad.end());
    }
}

TEST(Text, Utf8AndUtf16RoundTripAndRepair) {
    const std::u16string text = u"BKF\\\u00DCbersicht\\\u65E5\u672C\\\U0001F600.txt";
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text);
    EXPECT_EQ(utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz") << "unpaired surrogate";
    EXPECT_EQ(utf8ToUtf16("a\xC3"), u"a\uFFFD") << "cut-short sequence";
    EXPECT_EQ(utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD") << "overlong form";
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx") << "encoded surrogate";
}

TEST(Text, PathsNeverThrowOnTextTheSystemCannotTake) {
#ifdef _WIN32
    // Paths are UTF-16 there: an unpaired surrogate stays in the path and is
    // replaced only in the text shown.
    EXPECT_EQ(pathToUtf16(pathFromUtf16(u"/b\xD800.bkf")), u"/b\xD800.bkf");
    EXPECT_EQ(pathText(pathFromUtf16(u"/b\xD800.bkf")), "/b\xEF\xBF\xBD.bkf");
#else
    // An unpaired surrogate on the way to a path, bytes that are not UTF-8 on the way back.
    EXPECT_EQ(pathFromUtf16(u"/b\xD800.bkf").string(), "/b\xEF\xBF\xBD.bkf");
    EXPECT_EQ(pathToUtf16(std::filesystem::path("caf\xE9.bkf")), u"caf\uFFFD.bkf");
    EXPECT_EQ(pathText(std::filesystem::path("/x/\xFF")), "/x/\xEF\xBF\xBD");
#endif
}

TEST(Text, ControlCharactersAreShownEscapedOnATerminal) {
    struct Case {
        const char* what;
        std::string_view text;
        std::string_view shown;
    };
    const Case cases[] = {
        {"plain text and UTF-8 stay",
         "BKF\\\xC3\x9C"
         "bersicht\\a.txt",
         "BKF\\\xC3\x9C"
         "bersicht\\a.txt"},
        {"an erase-line sequence", "a\x1B[2Kb", "a\\x1B[2Kb"},
        {"a window-title sequence", "\x1B]2;owned\x07", "\\x1B]2;owned\\x07"},
        {"line ends and tabs", "a\r\n\tb", "a\\x0D\\x0A\\x09b"},
        {"DEL", "a\x7F", "a\\x7F"},
        {"a C1 control in UTF-8 (CSI)",
         "a\xC2\x9B"
         "2J",
         "a\\xC2\\x9B2J"},
        {"bytes that are not UTF-8", "caf\xE9", "caf\\xE9"},
    };
    for (const auto& c : cases) EXPECT_EQ(terminalText(c.text), c.shown) << c.what;
}

TEST(Text, TsvCellsReadBackExactly) {
    struct Case {
        const char* what;
        std::u16string cell;
        std::string_view escaped;
    };
    const Case cases[] = {
        {"a backslash before r stays a backslash", u"Documents\\readme.txt", "Documents\\readme.txt"},
        {"a tab, a CR and a LF", u"a\tb\rc\nd", "a%09b%0Dc%0Ad"},
        {"the escape character itself", u"100%.txt", "100%25.txt"},
        {"an escape sequence", u"\x1B[2K", "%1B[2K"},
        {"UTF-8 and a surrogate pair", u"\u00DC\U0001F600", "\xC3\x9C\xF0\x9F\x98\x80"},
        {"an unpaired surrogate",
         u"a\xD800"
         u"b",
         "a%uD800b"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        appendTsvCell(out, c.cell);
        EXPECT_EQ(out, c.escaped);
        EXPECT_EQ(parseTsvCell(out), c.cell);
    }
    for (std::string_view bad : {"%", "%4", "%zz", "%uD8", "a\tb"}) EXPECT_EQ(parseTsvCell(bad), std::nullopt) << bad;
}

}  // namespace
}  // namespace bkf
