// A snapshot never lands on the backup or on something that is not a file,
// and reading one never takes a damaged or foreign row for an entry.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/text.h"
#include "catalogue/snapshot.h"
#include "tests/fixtures/temp_dir.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;
using test::readFileBytes;
using test::utf16le;
using test::writeFileBytes;

Catalogue oneEntry() {
    Catalogue c;
    c.appendEntry(u"BKF\\S\\a.txt", 1, 2, 3, 4, 5);
    return c;
}

TEST(SnapshotRobustness, WhereASnapshotIsNeverWritten) {
    test::TempDir dir;
    const fs::path backup = dir / "b.bkf";
    const std::string backupBytes = "TAPE and the rest of a backup";
    writeFileBytes(backup, backupBytes);
    fs::create_hard_link(backup, dir / "hard.bkf");
    fs::create_directory(dir / "folder");
#ifndef _WIN32
    fs::create_symlink("b.bkf", dir / "link.bkf");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
#endif
    const std::u16string backupText = backup.u16string();
    struct Case {
        const char* what;
        fs::path target;
        std::u16string backupPath;
        const char* reason;
    };
    std::vector<Case> cases = {
        {"the backup itself", backup, backupText, "is the backup file itself"},
        {"the backup by a relative spelling", dir / "folder" / ".." / "b.bkf", backupText, "is the backup file itself"},
        {"a hard link to the backup", dir / "hard.bkf", backupText, "is the backup file itself"},
        {"inside the backup", backup / "x.ORMBKF", backupText, "is the backup file itself"},
        {"a folder", dir / "folder", backupText, "it is a folder"},
        {"a backup path with \">\"", dir / "s.ORMBKF", u"/data/a>b.bkf", "holds \">\""},
        {"a backup path with \"<\"", dir / "s.ORMBKF", u"/data/a<b.bkf", "holds \"<\""},
        {"a backup path with a line feed", dir / "s.ORMBKF", u"/data/a\nb.bkf", "holds a line end"},
    };
#ifndef _WIN32
    // Windows has no FIFOs or /dev, and links need a privilege there.
    cases.push_back({"a symbolic link to the backup", dir / "link.bkf", backupText, "is the backup file itself"});
    cases.push_back({"a FIFO", dir / "fifo", backupText, "it is a FIFO"});
    cases.push_back({"a device", "/dev/null", backupText, "it is a device"});
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Status written = writeSnapshot(c.target, oneEntry().table(), c.backupPath);
        EXPECT_FALSE(written.ok());
        EXPECT_NE(written.message().find(c.reason), std::string::npos) << written.message();
        EXPECT_FALSE(checkSnapshotTarget(c.target, c.backupPath).ok()) << "refused before any work too";
        EXPECT_EQ(readFileBytes(backup), backupBytes);
        EXPECT_FALSE(fs::exists(dir / "s.ORMBKF"));
    }
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(dir / "link.bkf"));
#endif
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(SnapshotRobustness, ALinkAtTheTargetIsFollowedAndKept) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    test::TempDir dir;
    fs::create_directory(dir / "real");
    writeFileBytes(dir / "real" / "s.ORMBKF", "old");
    fs::create_symlink("real/s.ORMBKF", dir / "s.ORMBKF");
    ASSERT_TRUE(writeSnapshot(dir / "s.ORMBKF", oneEntry().table(), u"/b.bkf"));
    EXPECT_TRUE(fs::is_symlink(dir / "s.ORMBKF"));
    EXPECT_EQ(readFileBytes(dir / "real" / "s.ORMBKF").substr(0, 16), utf16le(u"</b.bkf>"));
}

TEST(SnapshotRobustness, ANameAsLongAsAllowedStillHasATemporarySibling) {
    test::TempDir dir;
    const fs::path target = dir / (std::string(248, 's') + ".ORMBKF");  // 255 bytes
    ASSERT_TRUE(checkSnapshotTarget(target, u"/b.bkf"));
    const Status written = writeSnapshot(target, oneEntry().table(), u"/b.bkf");
    ASSERT_TRUE(written) << written.message();
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u);
}

TEST(SnapshotRobustness, RowsThatCannotBeTakenAreSkippedAndCounted) {
    test::TempDir dir;
    const std::u16string tooLong = u"BKF\\S\\" + std::u16string(kMaxDisplayPathUnits, u'x');
    writeFileBytes(dir / "s.ORMBKF",
                   utf16le(u"</b.bkf>\r\n<5>\r\n"
                           u"<BKF\\S\\whole.txt><3><4><5><6><7><8><9><10>\r\n"
                           u"<BKF\\S\\notes.txt><44\r\n"                       // cut short
                           u"<BKF\\S\\size.txt><x><4><5><6><7><8><9><10>\r\n"  // a size that is no number
                           u"<><3><4><5><6><7><8><9><10>\r\n"                  // no path
                           u"<" +
                           tooLong + u"><3><4><5><6><7><8><9><10>\r\n"));
    Catalogue c;
    const SnapshotLoad load = loadSnapshotFile(dir / "s.ORMBKF", c);
    ASSERT_TRUE(load.status.ok());
    EXPECT_EQ(load.rows, 1u);
    EXPECT_EQ(c.table().path(0), u"BKF\\S\\whole.txt");
    EXPECT_EQ(load.unreadable, 3u);
    EXPECT_EQ(load.refused, 1u);
    EXPECT_EQ(
        snapshotRowProblems(load.rows, load.unreadable, load.refused, load.declaredCount),
        (std::vector<std::string>{"3 rows of the snapshot were unreadable",
                                  "1 row of the snapshot was refused: a display path longer than 32767 code units"}))
        << "five rows, as declared";
    EXPECT_EQ(snapshotRowProblems(1, 0, 0, 4),
              (std::vector<std::string>{"warning: the snapshot declares 4 entries but holds 1 rows"}));
}

TEST(SnapshotRobustness, WithoutItsCountLineTheFirstRowIsKept) {
    test::TempDir dir;
    writeFileBytes(dir / "s.ORMBKF", utf16le(u"</b.bkf>\r\n"
                                             u"<BKF\\S\\first.txt><3><4><5><6><7><8><9><10>\r\n"
                                             u"<BKF\\S\\second.txt><3><4><5><6><7><8><9><10>\r\n"));
    ASSERT_TRUE(looksLikeSnapshot(dir / "s.ORMBKF"));
    Catalogue c;
    const SnapshotLoad load = loadSnapshotFile(dir / "s.ORMBKF", c);
    EXPECT_FALSE(load.hasCountLine);
    ASSERT_EQ(load.rows, 2u);
    EXPECT_EQ(c.table().path(0), u"BKF\\S\\first.txt");
}

TEST(SnapshotRobustness, SnapshotsKeptInAnotherFormAreNamed) {
    test::TempDir dir;
    const std::u16string text = u"</b.bkf>\r\n<1>\r\n<BKF\\S\\a.txt><3><4><5><6><7><8><9><10>\r\n";
    std::u16string crOnly = text;
    std::erase(crOnly, u'\n');
    std::string bigEndian = "\xFE\xFF";
    for (char16_t c : text) bigEndian += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
    struct Case {
        const char* what;
        std::string bytes;
        std::optional<std::string> lookalike;
    };
    const Case cases[] = {
        {"with a byte-order mark", "\xFF\xFE" + utf16le(text), "a recovery snapshot with a byte-order mark"},
        {"in UTF-8", utf16ToUtf8(text), "a recovery snapshot in UTF-8"},
        {"in UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + utf16ToUtf8(text), "a recovery snapshot in UTF-8"},
        {"with CR-only line ends", utf16le(crOnly), "a recovery snapshot with CR-only line ends"},
        {"in big-endian UTF-16", bigEndian, "a recovery snapshot in big-endian UTF-16"},
        {"a snapshot as it should be", utf16le(text), std::nullopt},
        {"a backup", std::string("TAPE\0\0\0\0<>", 10), std::nullopt},
        {"text that merely starts with \"<\"", "<html>\n<body>", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFileBytes(dir / "f", c.bytes);
        EXPECT_EQ(snapshotLookalike(dir / "f"), c.lookalike);
    }
}

TEST(SnapshotRobustness, AFifoIsNeverOpened) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs in its file systems";
#else
    test::TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    // Opening a FIFO without a writer would wait for ever.
    EXPECT_FALSE(looksLikeSnapshot(dir / "fifo"));
    Catalogue c;
    const SnapshotLoad load = loadSnapshotFile(dir / "fifo", c);
    EXPECT_FALSE(load.status.ok());
    EXPECT_NE(load.status.message().find("not a regular file"), std::string::npos) << load.status.message();
#endif
}

}  // namespace
}  // namespace bkf
