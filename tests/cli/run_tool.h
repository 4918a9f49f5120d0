// Runs a program of the build with arguments and collects its exit status,
// standard output and standard error.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include "tests/fixtures/long_scan.h"
#include "tests/fixtures/temp_dir.h"

namespace bkf::test {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

#ifdef _WIN32

// A command-line argument quoted the way the C runtime splits them again.
inline std::wstring windowsQuote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring q = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        q += c;
    }
    q.append(backslashes * 2, L'\\');
    return q + L"\"";
}

inline std::wstring wideOf(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// Runs `program args...` (arguments in UTF-8) in `workDir` with no standard
// input; with a `timeoutSeconds`, a run that takes longer is ended (status 124).
inline ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& workDir, int timeoutSeconds = 0) {
    const auto outFile = workDir / ".run.out";
    const auto errFile = workDir / ".run.err";
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    auto openFor = [&](const std::filesystem::path& p, DWORD access, DWORD disposition) {
        return CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE in = openFor(L"NUL", GENERIC_READ, OPEN_EXISTING);
    const HANDLE out = openFor(outFile, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = openFor(errFile, GENERIC_WRITE, CREATE_ALWAYS);
    std::wstring command = windowsQuote(wideOf(program));
    for (const auto& a : args) command += L" " + windowsQuote(wideOf(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    ToolRun run;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, workDir.c_str(), &startup,
                       &process)) {
        const DWORD wait = timeoutSeconds > 0 ? static_cast<DWORD>(timeoutSeconds) * 1000 : INFINITE;
        if (WaitForSingleObject(process.hProcess, wait) == WAIT_TIMEOUT) {
            TerminateProcess(process.hProcess, 124);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        DWORD code = 0;
        if (GetExitCodeProcess(process.hProcess, &code)) run.status = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    run.out = readFileBytes(outFile);
    run.err = readFileBytes(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

#else

// Runs `program args...` in `workDir` with no standard input; with a
// `timeoutSeconds`, a run that takes longer is killed (status 124).
inline ToolRun runTool(const std::string& program, const std::vector<std::string>& args,
                       const std::filesystem::path& workDir, int timeoutSeconds = 0) {
    const auto outFile = workDir / ".run.out";
    const auto errFile = workDir / ".run.err";
    std::string command = "cd " + shellQuote(workDir.string()) + " && " +
                          (timeoutSeconds > 0 ? "timeout -s KILL " + std::to_string(timeoutSeconds) + " " : "") +
                          shellQuote(program);
    for (const auto& a : args) command += " " + shellQuote(a);
    command += " </dev/null >" + shellQuote(outFile.string()) + " 2>" + shellQuote(errFile.string());
    const int raw = std::system(command.c_str());
    ToolRun run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = readFileBytes(outFile);
    run.err = readFileBytes(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

#endif

}  // namespace bkf::test
