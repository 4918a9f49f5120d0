#include "catalogue/snapshot.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/fixtures/temp_dir.h"

namespace bkf {
namespace {

using test::readFileBytes;
using test::utf16le;
using test::writeFileBytes;

void addFile(Catalogue& c, std::u16string_view path, std::int64_t size, std::int64_t offset, FileTime t) {
    c.appendEntry(path, size, offset, t, t + 10, t + 20);
    c.addFolderPath(path);
}

std::vector<std::array<std::u16string, kCatalogueColumnCount>> allCells(const CatalogueTable& t) {
    std::vector<std::array<std::u16string, kCatalogueColumnCount>> rows;
    for (RowIndex r = 0; r < t.rowCount(); ++r) rows.push_back(t.entry(r).cells);
    return rows;
}

TEST(Snapshot, WritesTheExactFileForm) {
    test::TempDir dir;
    Catalogue c;
    addFile(c, u"BKF\\BACKUP SET 1(Daily)\\Data\\a.txt", 12, 3094, makeFileTime(1, 2));
    const auto file = dir / "one.ORMBKF";
    ASSERT_TRUE(writeSnapshot(file, c.table(), u"D:\\Backup\\daily.bkf"));
    EXPECT_EQ(readFileBytes(file),
              utf16le(u"<D:\\Backup\\daily.bkf>\r\n<1>\r\n"
                      u"<BKF\\BACKUP SET 1(Daily)\\Data\\a.txt><12><3094><1><2><11><2><21><2>\r\n"));

    Catalogue empty;
    ASSERT_TRUE(writeSnapshot(dir / "empty.ORMBKF", empty.table(), u"x.bkf"));
    EXPECT_EQ(readFileBytes(dir / "empty.ORMBKF"), utf16le(u"<x.bkf>\r\n<0>\r\n"));
    Catalogue loaded;
    const auto load = loadSnapshotFile(dir / "empty.ORMBKF", loaded);
    EXPECT_TRUE(load.status.ok());
    EXPECT_EQ(load.rows, 0u);
    EXPECT_EQ(loaded.table().rowCount(), 0u);
}

TEST(Snapshot, RoundTripKeepsCellsOrderAndTreeAndChecksEverything) {
    test::TempDir dir;
    Catalogue c;
    addFile(c, u"BKF\\BACKUP SET 2(\u65E5\u672C)\\\u00DCbersicht\\z.txt", 5368709120LL, 6442450944LL,
            128573640000000000ULL);
    addFile(c, u"BKF\\BACKUP SET 1(Daily)\\Data\\a.doc", 0, 3094, 0);
    addFile(c, u"BKF\\BACKUP SET 1(Daily)\\Data\\a.doc", 7, 9000, makeFileTime(5, 0x80000000u));
    addFile(c, u"BKF\\BACKUP SET 0\\loose", 1, 2, 3);
    const std::array<std::u16string_view, kNumericCellCount> odd = {u"007",   u"+12", u"", u"-1",
                                                                    u"12abc", u"",    u"", u"+4"};
    c.appendEntryText(u"BKF\\BACKUP SET 1(Daily)\\hand\\edited.txt", odd);
    c.table().setChecked(1, true);

    const auto file = dir / "snap.ORMBKF";
    ASSERT_TRUE(writeSnapshot(file, c.table(), u"/backups/\u00FC.bkf"));
    Catalogue loaded;
    loaded.setBackupFilePath(u"stale");
    const auto load = loadSnapshotFile(file, loaded);
    ASSERT_TRUE(load.status.ok()) << load.status.message();
    EXPECT_EQ(load.rows, 5u);
    EXPECT_EQ(load.declaredCount, 5);
    EXPECT_EQ(loaded.backupFilePath(), u"/backups/\u00FC.bkf");
    EXPECT_EQ(allCells(loaded.table()), allCells(c.table()));
    EXPECT_EQ(loaded.table().checkedCount(), 5u) << "every entry is checked after a load";
    // The tree is rebuilt in the order of the lines.
    const auto& t = loaded.tree();
    std::vector<std::u16string> sets;
    for (NodeId n = t.firstChild(t.root()); n != kNoNode; n = t.nextSibling(n)) sets.emplace_back(t.label(n));
    EXPECT_EQ(sets,
              (std::vector<std::u16string>{u"BACKUP SET 2(\u65E5\u672C)", u"BACKUP SET 1(Daily)", u"BACKUP SET 0"}));

    // Written again, the file is the same byte for byte.
    ASSERT_TRUE(writeSnapshot(dir / "again.ORMBKF", loaded.table(), loaded.backupFilePath()));
    EXPECT_EQ(readFileBytes(dir / "again.ORMBKF"), readFileBytes(file));
}

TEST(Snapshot, MalformedLinesAreSkippedOrFilledIn) {
    test::TempDir dir;
    const auto file = dir / "hand.ORMBKF";
    writeFileBytes(file, utf16le(u"junk <C:\\b.bkf> more\r\n"
                                 u"<abc>\r\n"
                                 u"\r\n"
                                 u"no fields at all\r\n"
                                 u"<BKF\\S\\short.txt><5>\r\n"
                                 u"<BKF\\S\\long.txt><1><2><3><4><5><6><7><8><extra><more>\r\n"
                                 u"<BKF\\S\\unfinished.txt><9><10\r\n"
                                 u"<BKF\\S\\last.txt><1><2><3><4><5><6><7><8>") +
                             std::string("\x41", 1));  // an odd byte at the very end
    Catalogue c;
    const auto load = loadSnapshotFile(file, c);
    ASSERT_TRUE(load.status.ok());
    EXPECT_EQ(load.backupPath, u"C:\\b.bkf");
    EXPECT_FALSE(load.hasCountLine) << "a second line that is no count is a row";
    // "<abc>", "no fields at all", the short row and the unfinished one are
    // never read as if whole: skipped and counted.
    EXPECT_EQ(load.unreadable, 4u);
    ASSERT_EQ(c.table().rowCount(), 2u);
    EXPECT_EQ(c.table().cell(0, CatalogueColumn::CreatedHigh), u"8") << "values after the ninth are ignored";
    EXPECT_EQ(c.table().path(1), u"BKF\\S\\last.txt") << "a last line without a line end counts";
    EXPECT_EQ(snapshotProgressPercent(10, 0), std::nullopt) << "a count of 0 gives no scale";
}

TEST(Snapshot, ProgressIsScaledByTheDeclaredCount) {
    EXPECT_EQ(snapshotProgressPercent(1, 3), 33);
    EXPECT_EQ(snapshotProgressPercent(3, 3), 100);
    EXPECT_EQ(snapshotProgressPercent(7, 3), 100) << "more lines than declared";
    EXPECT_EQ(snapshotProgressPercent(5, -2), std::nullopt);
}

TEST(Snapshot, NotASnapshotAndStop) {
    test::TempDir dir;
    writeFileBytes(dir / "plain.txt", "TAPE\0\0 not utf16 at all");
    Catalogue c;
    const auto load = loadSnapshotFile(dir / "plain.txt", c);
    EXPECT_FALSE(load.status.ok());
    EXPECT_FALSE(looksLikeSnapshot(dir / "plain.txt"));
    EXPECT_FALSE(loadSnapshotFile(dir / "missing.ORMBKF", c).status.ok());

    Catalogue big;
    for (int i = 0; i < 100; ++i) big.appendEntry(u"BKF\\S\\f" + asciiToUtf16(std::to_string(i)), i, i, 0, 0, 0);
    ASSERT_TRUE(writeSnapshot(dir / "big.ORMBKF", big.table(), u"b.bkf"));
    EXPECT_TRUE(looksLikeSnapshot(dir / "big.ORMBKF"));
    std::atomic<bool> stop{true};
    const auto stopped = loadSnapshotFile(dir / "big.ORMBKF", c, &stop);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(c.table().rowCount(), 0u);
}

TEST(Snapshot, AFailedWriteLeavesTheOldSnapshotAndSaysWhy) {
    test::TempDir dir;
    Catalogue c;
    c.appendEntry(u"BKF\\S\\a.txt", 1, 2, 3, 4, 5);
    const auto noFolder = writeSnapshot(dir / "missing" / "x.ORMBKF", c.table(), u"b.bkf");
    EXPECT_FALSE(noFolder.ok());
    EXPECT_NE(noFolder.message().find("No such file or directory"), std::string::npos) << noFolder.message();

    // The target is a folder with something in it: the new file cannot take its place.
    std::filesystem::create_directory(dir / "taken.ORMBKF");
    writeFileBytes(dir / "taken.ORMBKF" / "keep", "k");
    const auto taken = writeSnapshot(dir / "taken.ORMBKF", c.table(), u"b.bkf");
    EXPECT_FALSE(taken.ok());
    EXPECT_EQ(readFileBytes(dir / "taken.ORMBKF" / "keep"), "k");
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++entries;
    EXPECT_EQ(entries, 1u) << "no temporary file is left behind";
}

TEST(Snapshot, NameGetsTheExtensionUnlessItHoldsIt) {
    EXPECT_EQ(withSnapshotExtension(u"report"), u"report.ORMBKF");
    EXPECT_EQ(withSnapshotExtension(u"report.ormbkf"), u"report.ormbkf.ORMBKF");
    EXPECT_EQ(withSnapshotExtension(u"a.ORMBKF.old"), u"a.ORMBKF.old");
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

TEST(Snapshot, DisplayPathsOfThousandsOfCodeUnits) {
    test::TempDir dir;
    std::u16string deep = u"BKF\\S";
    for (int i = 0; i < 60; ++i) deep += u"\\" + std::u16string(80, static_cast<char16_t>(u'a' + i % 26));
    deep += u"\\file.txt";
    const std::u16string flat = u"BKF\\S\\" + std::u16string(20000, u'x');
    test::writeFileBytes(dir / "long.ORMBKF",
                         utf16le(u"<b.bkf>\r\n<2>\r\n<" + deep + u"><1><2><3><4><5><6><7><8>\r\n<" + flat +
                                 u"><1><2><3><4><5><6><7><8>\r\n"));
    Catalogue c;
    ASSERT_EQ(loadSnapshotFile(dir / "long.ORMBKF", c).rows, 2u);
    EXPECT_EQ(c.table().path(0), deep);
    EXPECT_EQ(c.table().path(1), flat);
    EXPECT_EQ(c.tree().nodeCount(), 62u);
    NodeId deepest = c.tree().root();
    while (c.tree().firstChild(deepest) != kNoNode) deepest = c.tree().firstChild(deepest);
    c.setFolderMark(deepest, false);
    c.refreshAncestorMarks(deepest);
    EXPECT_EQ(c.tree().mark(c.tree().root()), FolderMark::Partial);
    ASSERT_TRUE(c.renameFolder(deepest, u"short"));
    EXPECT_TRUE(c.table().path(0).ends_with(u"\\short\\file.txt"));
}

}  // namespace
}  // namespace bkf
