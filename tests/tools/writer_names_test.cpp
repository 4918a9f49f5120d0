// Names and dates as the scanner's readers take them back out of the blocks,
// and the display paths the manifest predicts from them.
#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/tools/walk.h"
#include "tools/backup_writer.h"
#include "tools/tape_date.h"

namespace bkf::test {
namespace {

using tools::BackupWriter;
using tools::Content;
using tools::FileItem;

const tools::BlockRecord& firstOf(const Built& b, TapeBlockId kind, std::size_t skip = 0) {
    for (const auto& r : b.blocks) {
        if (r.kind == kind && skip-- == 0) return r;
    }
    throw std::runtime_error("no such block");
}

std::u16string nameAt(const Built& b, const tools::BlockRecord& r, std::size_t field) {
    const auto address = readTapeAddress(at(b.bytes, r.offset), field);
    const auto name = readTapeName(at(b.bytes, r.offset), *address);
    return name.value_or(u"<unreadable>");
}

tools::SetItem setNamed(std::u16string name, std::optional<std::uint16_t> size = std::nullopt) {
    tools::SetItem s;
    s.name = std::move(name);
    s.nameSize = size;
    return s;
}

TEST(SetNames, ReadBackAndLabelTheSet) {
    struct Case {
        std::u16string name;
        std::optional<std::uint16_t> size;
        std::u16string read;   // readSetName
        std::u16string label;  // in the display path
    };
    const std::vector<Case> cases = {
        {u"Daily", {}, u"Daily", u"BACKUP SET 1(Daily)"},
        {u"Wöchentlich Ü", {}, u"Wöchentlich Ü", u"BACKUP SET 1(Wöchentlich Ü)"},
        {u"", {}, u"", u"BACKUP SET 1()"},
        {u"a?b", {}, u"a?b", u"BACKUP SET 1()"},
        {u"x|y", {}, u"x|y", u"BACKUP SET 1()"},
        {u"C:\\Set \"1\"/2", {}, u"C:\\Set \"1\"/2", u"BACKUP SET 1(C__Set _1__2)"},
        {u"Name\u0080", {}, u"Name", u"BACKUP SET 1(Name)"},
        {u"Nul", 8, u"Nul\\", u"BACKUP SET 1(Nul_)"},
        {u"Long", 300, u"Long" + std::u16string(146, u'\\'), u"BACKUP SET 0"},
        {u"Edge", 260, u"Edge" + std::u16string(126, u'\\'), u"BACKUP SET 1(Edge" + std::u16string(126, u'_') + u")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.label));
        const Built b = buildInMemory([&](BackupWriter& w) {
            w.beginSet(setNamed(c.name, c.size));
            w.file(fileOf(u"f", Content::text("1")));
            w.file(fileOf(u"pad", Content::zeros(70000)));  // the set lies in a whole chunk
        });
        const auto& sset = firstOf(b, TapeBlockId::Sset);
        EXPECT_EQ(readSetName(at(b.bytes, sset.offset)), c.read);
        EXPECT_EQ(b.manifest[0].displayPath, u"BKF\\" + c.label + u"\\f");
    }
}

TEST(SetNames, OnlySetsWithShortNameFieldsAreCounted) {
    const Built b = buildInMemory([](BackupWriter& w) {
        w.file(fileOf(u"0", Content()));
        w.beginSet(setNamed(u"A"));
        w.file(fileOf(u"1", Content()));
        w.beginSet(setNamed(u"B", 261));
        w.file(fileOf(u"2", Content()));
        w.beginSet(setNamed(u"C"));
        w.file(fileOf(u"3", Content()));
    });
    const std::vector<std::u16string> expected = {u"BKF\\BACKUP SET 0\\0", u"BKF\\BACKUP SET 1(A)\\1",
                                                  u"BKF\\BACKUP SET 1(A)\\2", u"BKF\\BACKUP SET 2(C)\\3"};
    ASSERT_EQ(b.manifest.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(b.manifest[i].displayPath, expected[i]);
    // The data set numbers go on counting every set written.
    EXPECT_EQ(u16At(b.bytes, firstOf(b, TapeBlockId::Sset, 2).offset + mtf::kSsetDataSetNumber), 3);
}

TEST(FolderNames, ReadBackWithBackslashesAndNameTheFolder) {
    struct Case {
        std::u16string written;  // DIRB name code units
        std::optional<std::uint16_t> size;
        std::u16string read;    // readTapeName
        std::u16string folder;  // in the display path
    };
    const std::u16string longPath =
        std::u16string(200, u'p') + std::u16string(1, u'\0') + std::u16string(58, u'q') + std::u16string(1, u'\0');
    const std::vector<Case> cases = {
        {tools::folderName(u"Data/Sub"), {}, u"Data\\Sub\\", u"\\Data\\Sub\\"},
        {tools::folderName(u"Data\\Sub\\"), {}, u"Data\\Sub\\", u"\\Data\\Sub\\"},
        {tools::folderName(u""), {}, u"\\", u"\\"},
        {tools::folderName(u"Документы/Отчёты"), {}, u"Документы\\Отчёты\\", u"\\Документы\\Отчёты\\"},
        {std::u16string(u"a/b\0", 4), {}, u"a/b\\", u"\\lost dir0\\"},
        {std::u16string(u"x?\0", 3), {}, u"x?\\", u"\\lost dir0\\"},
        {longPath,
         {},
         longPath.substr(0, 255).replace(200, 1, u"\\"),
         u"\\" + std::u16string(200, u'p') + u"\\" + std::u16string(54, u'q') + u"\\"},
        {std::u16string(261, u'z'), {}, std::u16string(255, u'z'), u"\\" + std::u16string(255, u'z') + u"\\"},
        {u"", 0, u"", u"\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.folder));
        const Built b = buildInMemory([&](BackupWriter& w) {
            tools::DirItem d;
            d.name = c.written;
            d.nameSize = c.size;
            w.directory(d);
            w.file(fileOf(u"f", Content()));
        });
        const auto& dirb = firstOf(b, TapeBlockId::Dirb);
        EXPECT_EQ(nameAt(b, dirb, mtf::kDirbNameSize), c.read);
        EXPECT_EQ(b.manifest[0].displayPath, u"BKF\\BACKUP SET 0" + c.folder + u"f");
    }
}

TEST(FolderNames, LostFoldersAreNumberedThroughTheWholeBackup) {
    const Built b = buildInMemory([](BackupWriter& w) {
        for (const char16_t* path : {u"a:b", u"ok", u"c*d"}) {
            tools::DirItem d;
            d.name = tools::folderName(path);
            w.directory(d);
            w.file(fileOf(u"f", Content()));
            w.beginSet(setNamed(u"S"));
        }
    });
    EXPECT_EQ(b.manifest[0].displayPath, u"BKF\\BACKUP SET 0\\lost dir0\\f");
    EXPECT_EQ(b.manifest[1].displayPath, u"BKF\\BACKUP SET 1(S)\\ok\\f");
    EXPECT_EQ(b.manifest[2].displayPath, u"BKF\\BACKUP SET 2(S)\\lost dir1\\f");
}

TEST(FileNames, ReadBackAndDecideWhetherTheFileIsListed) {
    struct Case {
        std::u16string written;
        std::optional<std::uint16_t> size;
        std::u16string read;   // readTapeName
        std::u16string shown;  // last part of the display path
        bool listed;
    };
    const std::vector<Case> cases = {
        {u"report.txt", {}, u"report.txt", u"report.txt", true},
        {u"Übersicht.txt", {}, u"Übersicht.txt", u"Übersicht.txt", true},
        {u"日本語.txt", {}, u"日本語.txt", u"日本語.txt", true},
        {u"\U0001F600.txt", {}, u"\U0001F600.txt", u"\U0001F600.txt", true},
        {u"\\lead.txt", {}, u"\\lead.txt", u"lead.txt", true},
        {u"a<b.txt", {}, u"a<b.txt", u"a<b.txt", false},
        {u"what?", {}, u"what?", u"what?", false},
        {u"", {}, u"", u"", false},
        {u"\\", {}, u"\\", u"", false},
        {std::u16string(300, u'n'), {}, std::u16string(255, u'n'), std::u16string(255, u'n'), true},
        {std::u16string(260, u'm'), {}, std::u16string(255, u'm'), std::u16string(255, u'm'), true},
        {u"\\" + std::u16string(260, u'k'), {}, u"\\" + std::u16string(254, u'k'), std::u16string(254, u'k'), true},
        {u"short", 14, u"short\\\\", u"short\\\\", true},
        {u"cut.txt", 6, u"cut", u"cut", true},
        {u"odd", 7, u"odd", u"odd", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf16ToUtf8(c.written.substr(0, 20)));
        const Built b = buildInMemory([&](BackupWriter& w) {
            FileItem f = fileOf(c.written, Content::text("x"));
            f.nameSize = c.size;
            w.file(f);
            w.file(fileOf(u"pad", Content::zeros(70000)));  // the file lies in a whole chunk
        });
        const auto& file = firstOf(b, TapeBlockId::File);
        EXPECT_EQ(nameAt(b, file, mtf::kFileNameSize), c.read);
        EXPECT_EQ(b.manifest[0].displayPath, u"BKF\\BACKUP SET 0\\" + c.shown);
        EXPECT_EQ(b.manifest[0].expected(), c.listed);
        EXPECT_EQ((b.manifest[0].notes & tools::kNoteNameRejected) != 0, !c.listed);
    }
}

TEST(Dates, EveryDateFieldReadsBackAsTheFileTimeWritten) {
    struct Case {
        const char* text;
        int year, month, day, hour, minute, second;
    };
    const std::vector<Case> cases = {
        {"2008-06-09T21:09:15", 2008, 6, 9, 21, 9, 15},   {"1601-01-01T00:00:01", 1601, 1, 1, 0, 0, 1},
        {"2000-02-29T12:34:56", 2000, 2, 29, 12, 34, 56}, {"2099-12-31T23:59:59", 2099, 12, 31, 23, 59, 59},
        {"1999-07-04T16:00:01", 1999, 7, 4, 16, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const FileTime t = *tools::parseDateTime(c.text);
        EXPECT_EQ(tools::formatDateTime(t), c.text);
        const Built b = buildInMemory([&](BackupWriter& w) {
            tools::DirItem d;
            d.name = tools::folderName(u"D");
            d.modified = t;
            w.directory(d);
            FileItem f = fileOf(u"f", Content());
            f.modified = t + 9'999'999;  // parts of a second are dropped
            f.created = t;
            f.accessed = t;
            f.backup = t;
            w.file(f);
        });
        const std::uint64_t file = firstOf(b, TapeBlockId::File).offset;
        for (const std::size_t field :
             {mtf::kFileModified, mtf::kFileCreated, mtf::kFileAccessed, mtf::kFileBackupDate}) {
            EXPECT_EQ(tapeDateToFileTime(at(b.bytes, file + field)), t) << field;
        }
        const TapeDate d = decodeTapeDate(at(b.bytes, file + mtf::kFileCreated));
        EXPECT_EQ(std::vector<int>({d.year, d.month, d.day, d.hour, d.minute, d.second}),
                  std::vector<int>({c.year, c.month, c.day, c.hour, c.minute, c.second}));
        EXPECT_EQ(tapeDateToFileTime(at(b.bytes, firstOf(b, TapeBlockId::Dirb).offset + mtf::kDirbModified)), t);
        EXPECT_EQ(b.manifest[0].modified, t);
        EXPECT_EQ(b.manifest[0].created, t);
        EXPECT_EQ(b.manifest[0].accessed, t);
    }
}

TEST(Dates, ZeroMeansNoDate) {
    const Built b = buildInMemory([](BackupWriter& w) {
        FileItem f = fileOf(u"f", Content());
        f.modified = 0;
        w.file(f);
    });
    const std::uint64_t file = firstOf(b, TapeBlockId::File).offset;
    EXPECT_EQ(tools::encodeTapeDate(0), tools::TapeDateBytes{});
    EXPECT_EQ(tools::parseDateTime("1601-01-01T00:00:00"), FileTime{0});
    EXPECT_EQ(tapeDateToFileTime(at(b.bytes, file + mtf::kFileModified)), 0u);
    EXPECT_EQ(b.manifest[0].modified, 0u);
}

TEST(Dates, MalformedOrImpossibleTextIsRefused) {
    for (const char* text : {"", "2008-6-09", "2008-06-09T21:09", "2008-02-30", "2008-13-01", "1600-12-31",
                             "2008-06-09T24:00:00", "2008-06-09X21:09:15", "2008-06-09T21:09:15Z"}) {
        EXPECT_FALSE(tools::parseDateTime(text).has_value()) << text;
    }
    EXPECT_EQ(tools::parseDateTime("2008-06-09"), tools::parseDateTime("2008-06-09 00:00:00"));
    EXPECT_EQ(*tools::parseDateTime("2008-06-09T21:09:15"), tools::kDefaultTime);
}

}  // namespace
}  // namespace bkf::test
