#include <gtest/gtest.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include "base/text.h"
#include "catalogue/snapshot.h"
#include "tests/cli/run_tool.h"
#include "tests/fixtures/temp_dir.h"
#include "tools/backup_writer.h"
#include "tools/sink.h"

namespace bkf {
namespace {

using test::runTool;

test::ToolRun tarvik(const std::vector<std::string>& args, const test::TempDir& dir) {
    return runTool(TARVIK_PATH, args, dir.path());
}

void writeBackup(const std::filesystem::path& path) {
    tools::FileSink sink(path);
    tools::BackupWriter w(sink);
    w.beginSet({.name = u"Daily"});
    w.directory({.name = tools::folderName(u"Data/\u00DCbersicht")});
    for (int i = 0; i < 12; ++i) {
        tools::FileItem f;
        f.name = u"file" + asciiToUtf16(std::to_string(i)) + u".txt";
        f.content = tools::Content::random(9000, static_cast<std::uint64_t>(i));
        w.file(f);
    }
    w.finish();
    sink.close();
}

TEST(Cli, UsageVersionAndExitStatuses) {
    test::TempDir dir;
    const auto version = tarvik({"--version"}, dir);
    EXPECT_EQ(version.status, 0);
    // The same version as the About box of the desktop program: the build's one.
    EXPECT_EQ(version.out, "tarvik (Ormilo Tarvik BKF) " BKF_VERSION "\n");
    const auto help = tarvik({"--help"}, dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("scan BACKUP"), std::string::npos);
    EXPECT_EQ(tarvik({}, dir).status, 64);
    EXPECT_EQ(tarvik({"frobnicate"}, dir).status, 64);
    EXPECT_EQ(tarvik({"scan"}, dir).status, 64);
    EXPECT_EQ(tarvik({"list", "x", "--format", "xml"}, dir).status, 64);

    const auto missing = tarvik({"scan", "missing.bkf"}, dir);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("Some Error occoured while opening file. Make sure that file is not shared"),
              std::string::npos);
#ifndef _WIN32
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;
#endif

    test::writeFileBytes(dir / "zeros.bkf", std::string(100000, '\0'));
    const auto empty = tarvik({"scan", "zeros.bkf"}, dir);
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("No data found in backup file"), std::string::npos);
}

TEST(Cli, ScanWritesASnapshotThatListsLikeTheBackup) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "in");
    writeBackup(dir / "in" / "daily.bkf");
    const auto scan = tarvik({"scan", "in/daily.bkf", "-o", "out.snapshot"}, dir);
    ASSERT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.err.find("12 files in 1 sets and 2 folders"), std::string::npos) << scan.err;
    // Written at exactly the path given, its first line holds the backup's
    // absolute path, so that the snapshot names it from any folder.
    const std::string snapshot = test::readFileBytes(dir / "out.snapshot");
    const std::u16string first = u"<" + (dir / "in" / "daily.bkf").u16string() + u">\r\n<12>\r\n";
    EXPECT_EQ(snapshot.substr(0, 2 * first.size()), test::utf16le(first));

    const auto fromSnapshot = tarvik({"list", "out.snapshot", "--format", "tsv"}, dir);
    const auto fromBackup = tarvik({"list", "in/daily.bkf", "--format", "tsv"}, dir);
    ASSERT_EQ(fromSnapshot.status, 0);
    EXPECT_EQ(fromSnapshot.out, fromBackup.out);
    EXPECT_EQ(std::count(fromBackup.out.begin(), fromBackup.out.end(), '\n'), 12);
    const std::string firstRow = fromBackup.out.substr(0, fromBackup.out.find('\n'));
    EXPECT_EQ(std::count(firstRow.begin(), firstRow.end(), '\t'), 9) << "ten cells a row";
    EXPECT_EQ(firstRow.substr(0, firstRow.find('\t')),
              "BKF\\BACKUP SET 1(Daily)\\Data\\\xC3\x9C"
              "bersicht\\file0.txt");

    const auto json = tarvik({"list", "out.snapshot", "--format", "json"}, dir);
    EXPECT_EQ(json.out.substr(0, json.out.find('\n')).substr(0, 60),
              std::string("{\"path\":\"BKF\\\\BACKUP SET 1(Daily)\\\\Data\\\\\xC3\x9C"
                          "bersicht\\\\file0.txt\"")
                  .substr(0, 60));
    EXPECT_NE(json.out.find("\"modified\":\"2008-06-09 21:09:15\""), std::string::npos);

    const auto text = tarvik({"scan", "in/daily.bkf"}, dir);
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("2008-06-09 21:09:15            9000  BKF\\BACKUP SET 1(Daily)"), std::string::npos)
        << text.out.substr(0, 200);
}

TEST(Cli, LogHoldsTheWindowsLinesThenTheScans) {
    test::TempDir dir;
    writeBackup(dir / "daily.bkf");
    test::writeFileBytes(dir / "run.log", test::utf16le(u"earlier\r\n"));
    ASSERT_EQ(tarvik({"scan", "daily.bkf", "-o", "s.ORMBKF", "--log", "run.log"}, dir).status, 0);
    const std::string log = test::readFileBytes(dir / "run.log");
    EXPECT_EQ(log.substr(0, 120), test::utf16le(u"earlier\r\ndaily.bkf\r\nSUCC 0001\r\nSUCC 0002\r\nSUCC 0003\r\n"
                                                u"SUCC 0004\r\nSUCC 0005\r\nSUCC 0006\r\n")
                                      .substr(0, 120));
    EXPECT_NE(log.find(test::utf16le(u"SUCC 0013\r\n")), std::string::npos);
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

TEST(Cli, SearchAndExtractFromABackupOrASnapshot) {
    test::TempDir dir;
    writeBackup(dir / "daily.bkf");
    ASSERT_EQ(tarvik({"scan", "daily.bkf", "-o", "s.ORMBKF"}, dir).status, 0);

    const auto search = tarvik({"search", "s.ORMBKF", "*file1*"}, dir);
    EXPECT_EQ(search.status, 0);
    EXPECT_EQ(search.out,
              "BKF\\BACKUP SET 1(Daily)\\Data\\\xC3\x9C"
              "bersicht\\file1.txt\n"
              "BKF\\BACKUP SET 1(Daily)\\Data\\\xC3\x9C"
              "bersicht\\file10.txt\n"
              "BKF\\BACKUP SET 1(Daily)\\Data\\\xC3\x9C"
              "bersicht\\file11.txt\n");
    EXPECT_NE(search.err.find("3 files found"), std::string::npos);
    EXPECT_EQ(tarvik({"search", "daily.bkf", "*file1*"}, dir).out, search.out) << "a backup is scanned first";
    EXPECT_EQ(tarvik({"search", "s.ORMBKF"}, dir).status, 64);

    // Only the matching entries, into a new numbered folder.
    const auto some = tarvik({"extract", "s.ORMBKF", "out", "--match", "*file1*", "--match", "*file2.txt"}, dir);
    EXPECT_EQ(some.status, 0) << some.err;
    const auto folder =
        dir / "out" / "Rec1" / "BACKUP SET 1(Daily)" / "Data" / std::filesystem::path(u"\u00DCbersicht");
    EXPECT_TRUE(std::filesystem::exists(folder / "file10.txt"));
    EXPECT_TRUE(std::filesystem::exists(folder / "file2.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "file3.txt"));
    EXPECT_NE(some.err.find("4 saved: 4 verified, 0 checksum mismatch, 0 without checksum; 0 truncated; 0 failed"),
              std::string::npos)
        << some.err;
    EXPECT_EQ(std::count(some.out.begin(), some.out.end(), '\n'), 4) << "each file written, one a line";

    // The backup moved: the snapshot's own path no longer holds it.
    std::filesystem::rename(dir / "daily.bkf", dir / "moved.bkf");
    const auto lost = tarvik({"extract", "s.ORMBKF", "out"}, dir);
    EXPECT_EQ(lost.status, 2);
    EXPECT_NE(lost.err.find("--backup"), std::string::npos) << lost.err;
    const auto found = tarvik({"extract", "s.ORMBKF", "out", "--backup", "moved.bkf", "--prefix", ""}, dir);
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "BACKUP SET 1(Daily)" / "Data" /
                                        std::filesystem::path(u"\u00DCbersicht") / "file0.txt"));

    EXPECT_EQ(tarvik({"extract", "s.ORMBKF", "out", "--backup", "moved.bkf", "--prefix", "a:b"}, dir).status, 64);
    EXPECT_EQ(tarvik({"extract", "s.ORMBKF"}, dir).status, 64);
}

TEST(Cli, ExtractReportsTruncatedEntries) {
    test::TempDir dir;
    writeBackup(dir / "daily.bkf");
    // Cut the backup in the middle of the last file's data.
    const auto size = std::filesystem::file_size(dir / "daily.bkf");
    std::filesystem::resize_file(dir / "daily.bkf", size - 3000);
    const auto run = tarvik({"extract", "daily.bkf", "out"}, dir);
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("truncated: BKF\\BACKUP SET 1(Daily)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 truncated"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace bkf

namespace bkf {
namespace {

TEST(Cli, CtrlCStopsAScanAndStillWritesWhatWasFound) {
    test::TempDir dir;
    writeBackup(dir / "daily.bkf");
#ifdef _WIN32
    // The event is sent after a fixed wait: the scan must outlast it however
    // fast it reads (under Wine, the backup's holes are read as zeros).
    test::lengthenForALongScan(dir / "daily.bkf", std::uint64_t{160} << 30);
    // Ctrl-C as a user types it: the program runs on a console of its own,
    // this process joins that console, ignores the event itself and sends it.
    std::wstring command = L"\"" + test::wideOf(TARVIK_PATH) + L"\" scan daily.bkf -o s.ORMBKF";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE errFile =
        CreateFileW((dir / "err.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = errFile;
    startup.hStdError = errFile;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                               dir.path().c_str(), &startup, &process));
    CloseHandle(errFile);
    // Wine may take seconds to start the program on a busy machine; its handler
    // must be in place before the event comes (the scan takes far longer).
    Sleep(5000);
    FreeConsole();
    bool sent = AttachConsole(process.dwProcessId) && SetConsoleCtrlHandler(nullptr, TRUE) &&
                GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    const DWORD sendError = sent ? 0 : GetLastError();
    if (!sent || WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    FreeConsole();
    SetConsoleCtrlHandler(nullptr, FALSE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!sent) GTEST_SKIP() << "Ctrl-C could not be sent to the program's console here (error " << sendError << ")";
    EXPECT_EQ(status, 130u) << "stopped, not done";
#else
    test::lengthenForALongScan(dir / "daily.bkf");
    const std::string command = "cd " + test::shellQuote(dir.path().string()) + " && (" +
                                test::shellQuote(TARVIK_PATH) + " scan daily.bkf -o s.ORMBKF 2>err.txt & " +
                                test::signalOnceRead("INT") + ")";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 130) << "stopped, not done";
#endif
    const std::string err = test::readFileBytes(dir / "err.txt");
    EXPECT_NE(err.find("12 files"), std::string::npos) << err;
    EXPECT_NE(err.find("stopped before the end"), std::string::npos) << err;
    EXPECT_NE(err.find("stopped: the snapshot holds what was found up to offset "), std::string::npos) << err;
    Catalogue c;
    EXPECT_EQ(loadSnapshotFile(dir / "s.ORMBKF", c).rows, 12u);
}

}  // namespace
}  // namespace bkf
