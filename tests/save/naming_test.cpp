#include "save/output_naming.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "catalogue/catalogue.h"
#include "save/extract.h"
#include "tests/fixtures/temp_dir.h"

#include <filesystem>

namespace bkf {
namespace {

TEST(OutputNaming, CleanNamesAndThePrefixCheck) {
    EXPECT_TRUE(isCleanName(u"report \"final\".txt")) << "a double quote is allowed in a scanned name";
    for (char16_t c : kForbiddenNameChars) EXPECT_FALSE(isCleanName(std::u16string(u"a") + c)) << static_cast<char>(c);
    EXPECT_FALSE(isCleanName(u"two\nlines.txt")) << "a snapshot keeps one entry a line";
    EXPECT_FALSE(isCleanName(u"carriage\rreturn.txt"));
    EXPECT_TRUE(isCleanName(u"bell\x07.txt")) << "other control characters are made safe on disk instead";
    EXPECT_TRUE(isValidFolderPrefix(u"Rec"));
    EXPECT_TRUE(folderPrefixFits(std::u16string(248, u'r')));
    EXPECT_FALSE(folderPrefixFits(std::u16string(249, u'r'))) << "no room left for the number";
    EXPECT_FALSE(folderPrefixFits(std::u16string(83, u'\u65E5'))) << "249 bytes in UTF-8";
    EXPECT_TRUE(isValidFolderPrefix(u""));
    EXPECT_FALSE(isValidFolderPrefix(u"my'set"));
    EXPECT_FALSE(isValidFolderPrefix(u"a\\b"));
    EXPECT_EQ(kIllegalPrefixText, u"Illegal character found in file pre fix ");
    EXPECT_EQ(kReservedDeviceNames.front(), u"CLOCK$");
    EXPECT_EQ(kReservedDeviceNames[4], u"PRN");
    EXPECT_EQ(kReservedDeviceNames.back(), u"LPT9");
}

TEST(OutputNaming, SafeNames) {
    struct Case {
        std::u16string_view in;
        std::u16string_view out;
    };
    const Case cases[] = {
        {u"report.txt", u"report.txt"},
        {u"", u"_"},
        {u".", u"__"},
        {u"..", u"___"},
        {u"...", u"___"},
        {u"a/b", u"a_b"},
        {u"a\\b", u"a_b"},
        {u"C:", u"C_"},
        {u"what?*<>|\"", u"what______"},
        {u"tab\there", u"tab_here"},
        {u"CON", u"_CON"},
        {u"con.txt", u"_con.txt"},
        {u"Lpt9.tar.gz", u"_Lpt9.tar.gz"},
        {u"CONSOLE", u"CONSOLE"},
        {u"name. ", u"name__"},
        {u"\u00DCbersicht \u65E5\u672C.txt", u"\u00DCbersicht \u65E5\u672C.txt"},
        {u"a\xD800"
         "b",
         u"a_b"},
        {u"\U0001F600.txt", u"\U0001F600.txt"},
    };
    for (const auto& c : cases) {
        bool changed = false;
        EXPECT_EQ(safeName(c.in, &changed), c.out) << utf16ToUtf8(c.in);
        EXPECT_EQ(changed, c.in != c.out) << utf16ToUtf8(c.in);
    }
}

TEST(OutputNaming, LongNamesFitInBytesAndKeepTheirExtension) {
    // 255 code units of a three-byte character: 765 bytes in UTF-8.
    const std::u16string wide = std::u16string(251, u'\u65E5') + u".txt";
    const std::u16string safe = safeName(wide);
    EXPECT_LE(utf16ToUtf8(safe).size(), kMaxNameBytes);
    EXPECT_TRUE(safe.ends_with(u".txt"));
    const std::u16string numbered = numberedName(safe, 12);
    EXPECT_LE(utf16ToUtf8(numbered).size(), kMaxNameBytes);
    EXPECT_TRUE(numbered.ends_with(u" (12).txt"));
    // A surrogate pair is never cut in two: 100 emoji are 400 bytes in UTF-8.
    std::u16string emoji;
    for (int i = 0; i < 100; ++i) emoji += u"\U0001F600";
    const std::u16string cut = safeName(emoji);
    EXPECT_LE(utf16ToUtf8(cut).size(), kMaxNameBytes);
    EXPECT_EQ(cut.size() % 2, 0u);
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(cut)), cut);
    EXPECT_EQ(numberedName(u"report.txt", 2), u"report (2).txt");
    EXPECT_EQ(numberedName(u".profile", 3), u".profile (3)");
}

TEST(OutputNaming, ComponentsAfterTheRoot) {
    using V = std::vector<std::u16string_view>;
    EXPECT_EQ(outputComponents(u"BKF\\BACKUP SET 1(x)\\Data\\a.txt"), (V{u"BACKUP SET 1(x)", u"Data", u"a.txt"}));
    EXPECT_EQ(outputComponents(u"other\\a.txt"), (V{u"other", u"a.txt"}));
    EXPECT_EQ(outputComponents(u"BKF"), (V{u"BKF"}));
    EXPECT_EQ(outputComponents(u"BKF\\S\\\\a"), (V{u"S", u"", u"a"}));
}

TEST(SaveSelection, CheckedRowsOrTheChosenRow) {
    Catalogue c;
    for (int i = 0; i < 4; ++i) c.appendEntry(u"BKF\\S\\f" + asciiToUtf16(std::to_string(i)), 1, 1, 0, 0, 0);
    EXPECT_EQ(rowsToSave(c.table()), std::nullopt) << "nothing checked";
    EXPECT_EQ(rowsToSave(c.table(), 2), (std::vector<RowIndex>{2})) << "the chosen row needs no check";
    EXPECT_EQ(rowsToSave(c.table(), 9), std::nullopt);
    c.table().setChecked(3, true);
    c.table().setChecked(1, true);
    EXPECT_EQ(rowsToSave(c.table()), (std::vector<RowIndex>{1, 3}));
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

// Inputs the output-name fuzz target once failed on: a name made of three-byte
// characters, shortened to fit 255 bytes, ended in a space or a dot.
TEST(OutputNaming, FuzzFindingsStayFixed) {
    const std::filesystem::path folder = std::filesystem::path(BKF_TEST_SOURCE_DIR) / "save" / "regressions";
    std::size_t inputs = 0;
    for (const auto& file : std::filesystem::directory_iterator(folder)) {
        const std::string bytes = test::readFileBytes(file.path());
        std::u16string text(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                            (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
        }
        const auto bar = text.find(u'|');
        const std::u16string path = bar == std::u16string::npos ? text : text.substr(bar + 1);
        for (const std::u16string_view component : outputComponents(path)) {
            const std::u16string name = safeName(component);
            EXPECT_TRUE(isSafeName(name)) << file.path().filename() << ": " << utf16ToUtf8(name);
            EXPECT_TRUE(isSafeName(numberedName(name, 7))) << file.path().filename();
        }
        ++inputs;
    }
    EXPECT_GE(inputs, 2u);
    // The same by hand: cut at a space, and at a dot.
    EXPECT_TRUE(isSafeName(safeName(std::u16string(84, u'\u65E5') + u" " + std::u16string(100, u'\u65E5'))));
    EXPECT_TRUE(isSafeName(safeName(std::u16string(84, u'\u65E5') + u"." + std::u16string(100, u'\u65E5'))));
}

}  // namespace
}  // namespace bkf
