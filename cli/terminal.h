// The few things the command line needs of the terminal and the process.
// The system calls behind them live in terminal_posix.cpp and
// terminal_windows.cpp.
#pragma once

#include <atomic>
#include <thread>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bkf::cli {

bool stdoutIsTerminal();
bool stderrIsTerminal();

// Installs handlers that set a flag instead of ending the process: Ctrl-C
// (SIGINT), and SIGTERM and SIGHUP where the system has them; on Windows the
// console's Ctrl-C, Ctrl-Break and close events.
void catchInterrupt();
bool interrupted();

// While it lives, a signal caught by catchInterrupt() sets `cancel`, so that
// work polling a cancel flag between blocks stops at the next one.
class InterruptWatcher {
public:
    explicit InterruptWatcher(std::atomic<bool>& cancel);
    ~InterruptWatcher() { stop(); }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;
    void stop();

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};
// The exit status of a run that a signal stopped: 128 + its number (130 for Ctrl-C).
int interruptStatus();

// A broken pipe on standard output ends the program quietly, with the
// status the shell expects (the default action of SIGPIPE, even when the
// parent process ignored it).
void defaultBrokenPipe();

// On Windows, the console shows the UTF-8 the program writes (its output
// code page is set for the run and restored at exit), and standard output
// and error take lines ending in LF as written (no CR added). Nothing
// elsewhere.
void setUpConsole();

// The program's arguments, argv[0] first: as given on POSIX systems; on
// Windows taken from the wide command line and made UTF-8.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// A path named on the command line, taken as the system's bytes (a name
// that is not UTF-8 is still found).
std::filesystem::path argumentPath(std::string_view argument);

// Text for standard error or output: on a terminal, control characters are
// shown escaped (terminalText); elsewhere the text is passed exactly.
std::string errText(std::string_view utf8);
std::string outText(std::string_view utf8);

// Writes to standard output; the first failure's errno is kept for the
// program's last word (outputError, 0 when none).
void writeOut(std::string_view bytes);
int outputError();

}  // namespace bkf::cli
