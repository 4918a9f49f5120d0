// POSIX side of the terminal and process helpers: isatty, sigaction.
#include <unistd.h>
#include <csignal>

#include "cli/terminal.h"

namespace bkf::cli {

namespace {
volatile std::sig_atomic_t interruptSignal = 0;
extern "C" void onInterrupt(int signal) {
    if (interruptSignal == 0) interruptSignal = signal;
}
}  // namespace

bool stdoutIsTerminal() {
    return isatty(1) != 0;
}
bool stderrIsTerminal() {
    return isatty(2) != 0;
}

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    // Calls under way go on: the flag is looked at between pieces of work.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool interrupted() {
    return interruptSignal != 0;
}

int interruptStatus() {
    return 128 + (interruptSignal != 0 ? static_cast<int>(interruptSignal) : SIGINT);
}

void defaultBrokenPipe() {
    std::signal(SIGPIPE, SIG_DFL);
}

void setUpConsole() {}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    return {argv, argv + argc};
}

std::filesystem::path argumentPath(std::string_view argument) {
    return std::filesystem::path(std::string(argument));
}

}  // namespace bkf::cli
