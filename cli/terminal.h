// The few things the command line needs of the terminal and the process.
// The system calls behind them live in terminal_posix.cpp and
// terminal_windows.cpp.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace bkf::cli {

bool stdoutIsTerminal();
bool stderrIsTerminal();

// Installs handlers that set a flag instead of ending the process: Ctrl-C
// (SIGINT), and SIGTERM and SIGHUP where the system has them.
void catchInterrupt();
bool interrupted();
// The exit status of a run that a signal stopped: 128 + its number (130 for Ctrl-C).
int interruptStatus();

// A broken pipe on standard output ends the program quietly, with the
// status the shell expects (the default action of SIGPIPE, even when the
// parent process ignored it).
void defaultBrokenPipe();

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
