#include "catalogue/text.h"

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
    for (std::u16string_view bad : {u"", u"007", u"-0", u"+5", u" 5", u"5 ", u"12abc", u"-",
                                    u"9223372036854775808", u"\uFF15"}) {
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

}  // namespace
}  // namespace bkf
