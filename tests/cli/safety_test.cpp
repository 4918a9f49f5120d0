// The command line as a hostile or careless user drives it: the backup is
// never written to, a snapshot extracts only from its own backup, failures
// exit non-zero with the reason, and nothing hangs or aborts.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/text.h"
#include "catalogue/snapshot.h"
#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/sink.h"

namespace bkf {
namespace {

namespace fs = std::filesystem;
using test::runTool;

test::ToolRun tarvik(const std::vector<std::string>& args, const test::TempDir& dir) {
    return runTool(TARVIK_PATH, args, dir.path(), 20);
}

#ifndef _WIN32
// Runs a shell command line in `dir`; $T is the program. Returns its exit status.
int shell(const std::string& line, const test::TempDir& dir) {
    const std::string command =
        "cd " + test::shellQuote(dir.path().string()) + " && T=" + test::shellQuote(TARVIK_PATH) + " && (" + line + ")";
    const int raw = std::system(("bash -c " + test::shellQuote(command)).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}
#endif

void writeBackup(const fs::path& path, const std::u16string& fileName = u"file", std::size_t leadBytes = 0) {
    tools::FileSink sink(path);
    tools::BackupWriter w(sink);
    w.beginSet({.name = u"Daily"});
    w.directory({.name = tools::folderName(u"Data")});
    if (leadBytes > 0) {
        tools::FileItem lead;
        lead.name = u"lead.bin";
        lead.content = tools::Content::random(leadBytes, 5);
        w.file(lead);
    }
    constexpr int files = 3;
    for (int i = 0; i < files; ++i) {
        tools::FileItem f;
        f.name = fileName + asciiToUtf16(std::to_string(i)) + u".txt";
        f.content = tools::Content::random(3000 + 100 * static_cast<std::size_t>(i), static_cast<std::uint64_t>(i));
        w.file(f);
    }
    w.finish();
    sink.close();
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CliSafety, NoOutputIsEverTheBackup) {
    test::TempDir dir;
    writeBackup(dir / "b.bkf");
    const std::string before = test::readFileBytes(dir / "b.bkf");
    fs::create_hard_link(dir / "b.bkf", dir / "hard.bkf");
    ASSERT_EQ(tarvik({"scan", "b.bkf", "-o", "s.ORMBKF"}, dir).status, 0);
    fs::create_directory(dir / "folder");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        const char* says;
    };
    std::vector<Case> cases = {
        {"the snapshot over the backup", {"scan", "b.bkf", "-o", "b.bkf"}, "is the backup file itself"},
        {"the snapshot over a hard link", {"scan", "b.bkf", "-o", "hard.bkf"}, "is the backup file itself"},
        {"the log into the backup", {"scan", "b.bkf", "--log", "b.bkf"}, "is the backup file itself"},
        {"the destination is the backup", {"extract", "b.bkf", "b.bkf"}, "is the backup file itself"},
        {"the destination inside the backup", {"extract", "b.bkf", "b.bkf/sub"}, "(or inside it)"},
        {"the snapshot's backup as destination", {"extract", "s.ORMBKF", "hard.bkf"}, "is the backup file itself"},
        {"the snapshot over a folder", {"scan", "b.bkf", "-o", "folder"}, "it is a folder"},
        {"a log that cannot be written", {"scan", "b.bkf", "--log", "missing/x.log"}, "cannot write the log"},
        {"a prefix with a forbidden character",
         {"extract", "missing.bkf", "out", "--prefix", "a:b"},
         "Illegal character found in file pre fix"},
        {"a prefix without room for its number",
         {"extract", "missing.bkf", "out", "--prefix", std::string(250, 'p')},
         "too long"},
    };
#ifndef _WIN32
    // Links (which need a privilege on Windows), FIFOs and devices: POSIX only.
    fs::create_symlink("b.bkf", dir / "link.bkf");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    const Case posix[] = {
        {"the snapshot through a link", {"scan", "b.bkf", "-o", "link.bkf"}, "is the backup file itself"},
        {"the log through a link", {"scan", "b.bkf", "--log", "link.bkf"}, "is the backup file itself"},
        {"--backup as destination", {"extract", "s.ORMBKF", "link.bkf", "--backup", "b.bkf"}, "the backup"},
        {"the snapshot into a FIFO", {"scan", "b.bkf", "-o", "fifo"}, "it is a FIFO"},
        {"the snapshot over a device", {"scan", "b.bkf", "-o", "/dev/null"}, "it is a device"},
        {"a log that is a FIFO", {"scan", "b.bkf", "--log", "fifo"}, "not a regular file"},
    };
    cases.insert(cases.end(), std::begin(posix), std::end(posix));
#endif
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto run = tarvik(c.args, dir);
        EXPECT_EQ(run.status, 64) << run.err;
        EXPECT_TRUE(has(run.err, c.says)) << run.err;
        EXPECT_FALSE(has(run.err, "files in")) << "refused before any scan";
        EXPECT_EQ(test::readFileBytes(dir / "b.bkf"), before);
    }
    EXPECT_TRUE(fs::is_directory(dir / "folder"));
    EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST(CliSafety, ASnapshotExtractsOnlyFromItsOwnBackup) {
    test::TempDir dir;
    fs::create_directories(dir / "in");
    fs::create_directories(dir / "elsewhere" / "in");
    writeBackup(dir / "in" / "daily.bkf");
    // The same relative name from another folder is another backup.
    writeBackup(dir / "elsewhere" / "in" / "daily.bkf", u"file", 70000);
    ASSERT_EQ(tarvik({"scan", "in/daily.bkf", "-o", "s.ORMBKF"}, dir).status, 0);

    const auto fromElsewhere = runTool(TARVIK_PATH, {"extract", "../s.ORMBKF", "out"}, dir / "elsewhere", 20);
    EXPECT_EQ(fromElsewhere.status, 0) << fromElsewhere.err;
    EXPECT_TRUE(has(fromElsewhere.err, "3 saved")) << fromElsewhere.err;

    const auto wrong = tarvik({"extract", "s.ORMBKF", "out", "--backup", "elsewhere/in/daily.bkf"}, dir);
    EXPECT_EQ(wrong.status, 3);
    EXPECT_TRUE(has(wrong.err, "the backup does not hold this file's data here (wrong backup?)")) << wrong.err;
    EXPECT_TRUE(has(wrong.err, "the snapshot does not belong to the backup file")) << wrong.err;
    EXPECT_TRUE(has(wrong.err, "0 saved")) << wrong.err;

#ifndef _WIN32
    // A path the first line cannot hold is refused before the scan (Windows
    // takes no ">" in a name).
    fs::copy_file(dir / "in" / "daily.bkf", dir / "a>b.bkf");
    const auto cut = tarvik({"scan", "a>b.bkf", "-o", "cut.ORMBKF"}, dir);
    EXPECT_EQ(cut.status, 64);
    EXPECT_TRUE(has(cut.err, "holds \">\"")) << cut.err;
    EXPECT_FALSE(fs::exists(dir / "cut.ORMBKF"));
#endif
}

TEST(CliSafety, DamagedOrForeignSnapshotsAreReportedNotReadAsWhole) {
    test::TempDir dir;
    writeBackup(dir / "b.bkf");
    const std::u16string backup = (dir / "b.bkf").u16string();
    test::writeFileBytes(dir / "cut.ORMBKF", test::utf16le(u"<" + backup + u">\r\n<2>\r\n<BKF\\S\\notes.txt><44\r\n"));
    test::writeFileBytes(dir / "surrogate.ORMBKF",
                         test::utf16le(u"</b\xD800.bkf>\r\n<1>\r\n<BKF\\S\\a.txt><1><2><3><4><5><6><7><8>\r\n"));
    test::writeFileBytes(dir / "bom.ORMBKF",
                         "\xFF\xFE" + test::utf16le(u"</b.bkf>\r\n<1>\r\n<BKF\\S\\a.txt><1><2><3><4><5><6><7><8>\r\n"));
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {"a cut row is counted", {"list", "cut.ORMBKF"}, 3, "1 row of the snapshot was unreadable"},
        {"a count that disagrees",
         {"list", "cut.ORMBKF"},
         3,
         "warning: the snapshot declares 2 entries but holds 1 rows"},
        {"a cut row is never extracted", {"extract", "cut.ORMBKF", "out"}, 3, "1 row of the snapshot was unreadable"},
        {"a backup path no file system takes",
         {"extract", "surrogate.ORMBKF", "out"},
         2,
         "cannot open the backup file"},
        {"a snapshot with a byte-order mark",
         {"list", "bom.ORMBKF"},
         2,
         "looks like a recovery snapshot with a byte-order mark"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto run = tarvik(c.args, dir);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(has(run.err, c.says)) << run.err;
    }
    EXPECT_FALSE(fs::exists(dir / "out" / "Rec1" / "S" / "notes.txt"));
}

TEST(CliSafety, FailuresExitWithTheirStatus) {
    test::TempDir dir;
    writeBackup(dir / "b.bkf");
    ASSERT_EQ(tarvik({"scan", "b.bkf", "-o", "s.ORMBKF"}, dir).status, 0);
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    test::writeFileBytes(
        dir / "fifo.ORMBKF",
        test::utf16le(u"<" + (dir / "fifo").u16string() + u">\r\n<1>\r\n<BKF\\S\\a.txt><1><2><3><4><5><6><7><8>\r\n"));
#endif
    fs::create_directory(dir / "folder");
    test::writeFileBytes(dir / "file.txt", "x");
    struct Case {
        const char* what;
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    std::vector<Case> cases = {
        {"a search that matches nothing", {"search", "s.ORMBKF", "*nothing*"}, 1, "0 files found"},
        {"a folder to look into", {"blocks", "folder"}, 2, "Is a directory"},
#ifdef _WIN32
        {"a destination that cannot be made",
         {"extract", "s.ORMBKF", "file.txt/sub"},
         3,
         "cannot create the destination folder file.txt/sub: "},
        {"a device to look into", {"blocks", "\\\\.\\NUL"}, 2, "not a regular file or block device"},
#else
        {"a destination that cannot be made",
         {"extract", "s.ORMBKF", "file.txt/sub"},
         3,
         "cannot create the destination folder file.txt/sub: Not a directory"},
        {"a FIFO to scan", {"scan", "fifo"}, 2, "a FIFO"},
        {"a FIFO to list", {"list", "fifo"}, 2, "a FIFO"},
        {"a FIFO to look into", {"blocks", "fifo"}, 2, "a FIFO"},
        {"a FIFO as the snapshot's backup", {"extract", "fifo.ORMBKF", "out"}, 2, "a FIFO"},
        {"an endless device", {"blocks", "/dev/zero"}, 2, "a character device"},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto run = tarvik(c.args, dir);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_TRUE(has(run.err, c.says)) << run.err;
    }

#ifndef _WIN32
    // Results that cannot be written are a failure, with the reason (/dev/full
    // and SIGPIPE: POSIX only).
    EXPECT_EQ(shell("$T list s.ORMBKF >/dev/full 2>full.err", dir), 74);
    EXPECT_TRUE(has(test::readFileBytes(dir / "full.err"), "No space left on device"));
    // A reader that goes away ends the program quietly, as SIGPIPE does, even
    // when the caller ignores SIGPIPE.
    Catalogue big;
    for (int i = 0; i < 30000; ++i) big.appendEntry(u"BKF\\S\\f" + decimalText(std::int64_t{i}), 1, 2, 3, 4, 5);
    ASSERT_TRUE(writeSnapshot(dir / "big.ORMBKF", big.table(), u"/b.bkf"));
    EXPECT_EQ(shell("trap '' PIPE; $T list big.ORMBKF 2>pipe.err | true; exit ${PIPESTATUS[0]}", dir), 128 + SIGPIPE);
    EXPECT_EQ(test::readFileBytes(dir / "pipe.err"), "");
#endif
}

TEST(CliSafety, ASignalDuringTheOnePassSaveOfABackupKeepsOnlyWholeFiles) {
    // A backup is saved as it is scanned: a signal cancels the save as it
    // cancels one after the scan, keeping the files already whole.
#ifdef _WIN32
    GTEST_SKIP() << "SIGTERM from a shell: POSIX only (Cli.CtrlCStopsAScanAndStillWritesWhatWasFound covers the "
                    "console handler)";
#else
    test::TempDir dir;
    writeBackup(dir / "b.bkf");
    test::lengthenForALongScan(dir / "b.bkf");
    EXPECT_EQ(shell("$T extract b.bkf out >out.txt 2>err.txt & " + test::signalOnceRead("TERM"), dir), 128 + SIGTERM);
    const std::string err = test::readFileBytes(dir / "err.txt");
    EXPECT_TRUE(has(err, "; cancelled")) << err;
    // Every file left is one the output names as verified, whole.
    const std::string out = test::readFileBytes(dir / "out.txt");
    std::size_t files = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir / "out")) {
        if (!e.is_regular_file()) continue;
        ++files;
        EXPECT_TRUE(has(out, "verified\t" + fs::relative(e.path(), dir.path()).string())) << e.path() << "\n" << out;
    }
    EXPECT_EQ(files, static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n')));
#endif
}

TEST(CliSafety, ReadersShareTheBackupAndWritersAreKeptOut) {
    test::TempDir dir;
    writeBackup(dir / "b.bkf");
#ifdef _WIN32
    // Another reader that shares reading only; then a writer sharing all.
    const HANDLE reader =
        CreateFileW((dir / "b.bkf").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(tarvik({"list", "b.bkf"}, dir).status, 0) << "another reader holds it";
    CloseHandle(reader);
    const HANDLE writer = CreateFileW((dir / "b.bkf").c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
#else
    const int reader = ::open((dir / "b.bkf").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(reader, LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(tarvik({"list", "b.bkf"}, dir).status, 0) << "another reader holds it";
    ::close(reader);
    const int writer = ::open((dir / "b.bkf").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
#endif
    const auto locked = tarvik({"list", "b.bkf"}, dir);
    EXPECT_EQ(locked.status, 2);
    EXPECT_TRUE(has(locked.err, "locked for writing by another program")) << locked.err;
#ifdef _WIN32
    CloseHandle(writer);
#else
    ::close(writer);
#endif
}

TEST(CliSafety, NamesReachTheOutputExactOrEscaped) {
    test::TempDir dir;
#ifdef _WIN32
    // A name outside the ANSI code page reaches the program whole.
    writeBackup(dir.path() / fs::path(u"caf\u00E9 \u65E5\u672C.bkf"), u"a\x1B[2Kb");
    const auto scanned = tarvik({"scan", "caf\u00E9 \u65E5\u672C.bkf", "-o", "s.ORMBKF"}, dir);
#else
    writeBackup(dir / "caf\xE9.bkf", u"a\x1B[2Kb");
    // A path that is not UTF-8 is taken as the system's bytes.
    const auto scanned = tarvik({"scan", "caf\xE9.bkf", "-o", "s.ORMBKF"}, dir);
#endif
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    const auto tsv = tarvik({"list", "s.ORMBKF", "--format", "tsv"}, dir);
    EXPECT_TRUE(has(tsv.out, "BKF\\BACKUP SET 1(Daily)\\Data\\a%1B[2Kb0.txt\t")) << tsv.out.substr(0, 200);
    EXPECT_FALSE(has(tsv.out, "\x1B"));
#ifdef _WIN32
    GTEST_SKIP() << "the terminal half needs script(1): POSIX only";
#else
    // On a terminal the text listing shows control characters escaped.
    if (shell("command -v script >/dev/null", dir) != 0) GTEST_SKIP() << "no script(1) to give a terminal";
    EXPECT_EQ(shell("script -qec \"$T list s.ORMBKF\" /dev/null >tty.out", dir), 0);
    const std::string shown = test::readFileBytes(dir / "tty.out");
    EXPECT_TRUE(has(shown, "a\\x1B[2Kb0.txt")) << shown;
    EXPECT_FALSE(has(shown, "\x1B[2K"));
#endif
}

}  // namespace
}  // namespace bkf
