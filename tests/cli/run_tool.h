// Runs a program of the build with arguments and collects its exit status,
// standard output and standard error.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <filesystem>
#include <string>
#include <vector>

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

}  // namespace bkf::test
