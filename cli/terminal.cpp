#include "cli/terminal.h"

#include <chrono>

#include <cerrno>
#include <cstdio>

#include "base/text.h"

namespace bkf::cli {

std::string errText(std::string_view utf8) {
    static const bool terminal = stderrIsTerminal();
    return terminal ? terminalText(utf8) : std::string(utf8);
}

std::string outText(std::string_view utf8) {
    static const bool terminal = stdoutIsTerminal();
    return terminal ? terminalText(utf8) : std::string(utf8);
}

namespace {
int firstOutputError = 0;
}  // namespace

void writeOut(std::string_view bytes) {
    if (bytes.empty()) return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) < bytes.size() && firstOutputError == 0) {
        firstOutputError = errno != 0 ? errno : EIO;
    }
}

int outputError() {
    return firstOutputError;
}

InterruptWatcher::InterruptWatcher(std::atomic<bool>& cancel)
    : thread_([this, &cancel] {
          while (!done_.load()) {
              if (interrupted()) cancel.store(true);
              std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
      }) {}

void InterruptWatcher::stop() {
    done_.store(true);
    if (thread_.joinable()) thread_.join();
}

}  // namespace bkf::cli
