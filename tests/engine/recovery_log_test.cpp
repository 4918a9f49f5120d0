#include "engine/recovery_log.h"

#include <gtest/gtest.h>

#include "tests/fixtures/temp_dir.h"

namespace bkf {
namespace {

using test::readFileBytes;
using test::utf16le;

TEST(RecoveryLog, LinesAreUtf16WithoutBomAndAppendedAcrossRecoveries) {
    test::TempDir dir;
    const auto log = dir / "OrmBkf.log";
    const std::u16string backup = u"D:\\Backups\\\u00DCbersicht.bkf";
    // Two recoveries in one program run, one after another without separators.
    for (int run = 0; run < 2; ++run) {
        EXPECT_TRUE(writeLogLine(log, logPathLine(backup)));
        EXPECT_TRUE(writeLogLine(log, logCodeLine(LogCode::RecoveryStarted)));
    }
    const std::u16string one = backup + u"\r\nSUCC 0001\r\n";
    EXPECT_EQ(readFileBytes(log), utf16le(one + one));
    EXPECT_EQ(readFileBytes(log).substr(0, 2), std::string("D\0", 2)) << "no byte-order mark";

    deleteOldLog(log);
    EXPECT_FALSE(std::filesystem::exists(log));
    deleteOldLog(log);  // a missing log is no error
}

TEST(RecoveryLog, TheDesktopLogHasItsPlatformsPlace) {
#ifdef _WIN32
    EXPECT_EQ(defaultLogPath(), std::filesystem::path(L"c:\\OrmBkf.log"));
    // Writing there needs the right to create files in c:\ ; Wine's scratch
    // drive c: gives it, an ordinary Windows user may lack it.
    if (!test::runningUnderWine()) GTEST_SKIP() << "writes c:\\OrmBkf.log only in Wine's scratch drive";
    const auto log = defaultLogPath();
    deleteOldLog(log);
    EXPECT_TRUE(checkLogFile(log).ok());
    EXPECT_TRUE(writeLogLine(log, logCodeLine(LogCode::RecoveryStarted)));
    EXPECT_EQ(readFileBytes(log), utf16le(u"SUCC 0001\r\n"));
    deleteOldLog(log);
    EXPECT_FALSE(std::filesystem::exists(log));
#else
    EXPECT_EQ(defaultLogPath().filename(), "OrmBkf.log");
#endif
}

TEST(RecoveryLog, CodeLines) {
    EXPECT_EQ(logCodeLine(LogCode::RecoveryStarted), u"SUCC 0001\r\n");
    EXPECT_EQ(logCodeLine(LogCode::FileCatalogued), u"SUCC 0013\r\n");
}

TEST(RecoveryLog, KeptOpenForARecoveryItAppendsAndFlushesWhenAsked) {
    test::TempDir dir;
    const auto log = dir / "OrmBkf.log";
    ASSERT_TRUE(writeLogLine(log, u"C:\\x.bkf\r\n"));
    {
        RecoveryLog session(log);
        session.write(LogCode::PrepareStarted);
        session.write(LogCode::CatalogueEmptied);
        EXPECT_EQ(readFileBytes(log), utf16le(u"C:\\x.bkf\r\n")) << "nothing before the flush";
        session.flush();
        EXPECT_EQ(readFileBytes(log), utf16le(u"C:\\x.bkf\r\nSUCC 0002\r\nSUCC 0003\r\n"))
            << "an existing log is appended to, never truncated";
        session.write(LogCode::OpeningBackup);
    }
    EXPECT_EQ(readFileBytes(log), utf16le(u"C:\\x.bkf\r\nSUCC 0002\r\nSUCC 0003\r\nSUCC 0004\r\n"))
        << "the rest reaches the file when the recovery ends";
}

TEST(RecoveryLog, ItsSwitchIsReadBeforeEveryLine) {
    test::TempDir dir;
    const auto log = dir / "OrmBkf.log";
    std::atomic<bool> on{false};
    RecoveryLog session(log, &on);
    session.write(LogCode::PrepareStarted);
    session.flush();
    EXPECT_FALSE(std::filesystem::exists(log)) << "switched off: not even an empty file";
    on = true;
    session.write(LogCode::CatalogueEmptied);
    session.write(u"C:\\x.bkf\r\n");
    on = false;
    session.write(LogCode::OpeningBackup);
    session.write(u"C:\\y.bkf\r\n");
    session.flush();
    EXPECT_EQ(readFileBytes(log), utf16le(u"SUCC 0003\r\nC:\\x.bkf\r\n"));
}

TEST(RecoveryLog, AnUnwritableLogDropsLinesQuietly) {
    test::TempDir dir;
    const auto log = dir / "missing-folder" / "OrmBkf.log";
    EXPECT_FALSE(writeLogLine(log, logCodeLine(LogCode::RecoveryStarted)));
    RecoveryLog session(log);
    session.write(LogCode::ScanStarted);
    session.flush();
    EXPECT_FALSE(std::filesystem::exists(log));
}

}  // namespace
}  // namespace bkf
