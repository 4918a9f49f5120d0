// Windows file times: 100-nanosecond intervals since 1601-01-01 00:00:00,
// without any time zone. The catalogue keeps each as a low and a high 32-bit half.
#pragma once

#include <cstdint>

namespace bkf {

using FileTime = std::uint64_t;

inline constexpr std::uint32_t fileTimeLow(FileTime t) { return static_cast<std::uint32_t>(t); }
inline constexpr std::uint32_t fileTimeHigh(FileTime t) { return static_cast<std::uint32_t>(t >> 32); }
inline constexpr FileTime makeFileTime(std::uint32_t low, std::uint32_t high) {
    return (static_cast<FileTime>(high) << 32) | low;
}

// Seconds between 1601-01-01 and 1970-01-01, for conversion to Unix time.
inline constexpr std::int64_t kFileTimeUnixEpochSeconds = 11644473600LL;
inline constexpr std::int64_t kFileTimeTicksPerSecond = 10000000LL;

}  // namespace bkf
