// Windows side of the terminal and process helpers: the console's Ctrl-C and
// Ctrl-Break through SetConsoleCtrlHandler, the arguments as UTF-16 from the
// system (never the ANSI code page), UTF-8 text on the console.
#include <fcntl.h>
#include <io.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After windows.h, whose macros it needs.
#include <shellapi.h>

#include "base/text.h"
#include "cli/terminal.h"

namespace bkf::cli {

namespace {

// The status the run ends with when stopped: 130 for Ctrl-C and Ctrl-Break,
// as a shell reports SIGINT; 143 (SIGTERM) when the console closes or the
// session ends.
std::atomic<int> interruptExit{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
    const int status = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 143;
    int none = 0;
    interruptExit.compare_exchange_strong(none, status);
    // Handled: the work stops at its next look at the flag and ends cleanly.
    return TRUE;
}

UINT consoleCodePage = 0;

void restoreConsoleCodePage() {
    if (consoleCodePage != 0) SetConsoleOutputCP(consoleCodePage);
}

}  // namespace

bool stdoutIsTerminal() {
    return _isatty(_fileno(stdout)) != 0;
}
bool stderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

void catchInterrupt() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool interrupted() {
    return interruptExit.load() != 0;
}

int interruptStatus() {
    const int status = interruptExit.load();
    return status != 0 ? status : 130;
}

// Windows has no SIGPIPE: a write to a closed pipe fails, and the failure is
// reported like any other output failure.
void defaultBrokenPipe() {}

void setUpConsole() {
    // Lines end in LF alone, as everywhere: TSV and JSON read back the same
    // bytes whichever system wrote them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // Our text is UTF-8: the console shows it as such for this run.
    const UINT current = GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        consoleCodePage = current;
        std::atexit(restoreConsoleCodePage);
    }
}

std::vector<std::string> utf8Arguments(int argc, char** argv) {
    // argv holds the arguments in the ANSI code page, where names outside it
    // are lost: the wide command line has them all.
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    if (wide == nullptr) {
        args.assign(argv, argv + argc);
        return args;
    }
    for (int i = 0; i < count; ++i) {
        const std::wstring_view w(wide[i]);
        args.push_back(utf16ToUtf8(std::u16string(w.begin(), w.end())));
    }
    LocalFree(wide);
    return args;
}

std::filesystem::path argumentPath(std::string_view argument) {
    return pathFromUtf16(utf8ToUtf16(argument));
}

}  // namespace bkf::cli
