// Small helpers for the benchmarks: wall-clock timing and resident memory.
#pragma once

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#if defined(__linux__)
#include <unistd.h>
#endif

namespace bkf::bench {

class Stopwatch {
public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }

private:
    std::chrono::steady_clock::time_point start_;
};

// Resident set size of this process in bytes (0 where it cannot be read).
inline std::size_t residentBytes() {
#if defined(__linux__)
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#else
    return 0;
#endif
}

// One result line: what, the figure, the target, and whether it is met.
inline void report(const char* what, double value, const char* unit, double target, bool lowerIsBetter = true) {
    const bool met = lowerIsBetter ? value <= target : value >= target;
    std::printf("%-58s %12.3f %-6s target %s %10.3f  %s\n", what, value, unit, lowerIsBetter ? "<=" : ">=", target,
                met ? "ok" : "MISSED");
}

}  // namespace bkf::bench
