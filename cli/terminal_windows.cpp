// Windows side of the terminal and process helpers: _isatty, signal.
#include <csignal>
#include <cstdio>
#include <io.h>

#include "catalogue/text.h"
#include "cli/terminal.h"

namespace bkf::cli {

namespace {
volatile std::sig_atomic_t interruptSignal = 0;
extern "C" void onInterrupt(int signal) {
    if (interruptSignal == 0) interruptSignal = signal;
}
}  // namespace

bool stdoutIsTerminal() { return _isatty(_fileno(stdout)) != 0; }
bool stderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

void catchInterrupt() {
    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    std::signal(SIGBREAK, onInterrupt);
}

bool interrupted() { return interruptSignal != 0; }

int interruptStatus() { return 128 + (interruptSignal != 0 ? static_cast<int>(interruptSignal) : SIGINT); }

void defaultBrokenPipe() {}

std::filesystem::path argumentPath(std::string_view argument) {
    // The arguments arrive as UTF-8 (the program's code page).
    return pathFromUtf16(utf8ToUtf16(argument));
}

}  // namespace bkf::cli
