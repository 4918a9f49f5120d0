#include "cli/terminal.h"

#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace bkf::cli {

namespace {
volatile std::sig_atomic_t interruptFlag = 0;
extern "C" void onInterrupt(int) { interruptFlag = 1; }
}  // namespace

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(2) != 0;
#endif
}

void catchInterrupt() { std::signal(SIGINT, onInterrupt); }

bool interrupted() { return interruptFlag != 0; }

}  // namespace bkf::cli
