// Windows file times: 100-nanosecond intervals since 1601-01-01 00:00:00,
// without any time zone. The catalogue keeps each as a low and a high 32-bit half.
#pragma once

#include <cstdint>
#include <string>

namespace bkf {

using FileTime = std::uint64_t;

inline constexpr std::uint32_t fileTimeLow(FileTime t) {
    return static_cast<std::uint32_t>(t);
}
inline constexpr std::uint32_t fileTimeHigh(FileTime t) {
    return static_cast<std::uint32_t>(t >> 32);
}
inline constexpr FileTime makeFileTime(std::uint32_t low, std::uint32_t high) {
    return (static_cast<FileTime>(high) << 32) | low;
}

// Seconds between 1601-01-01 and 1970-01-01, for conversion to Unix time.
inline constexpr std::int64_t kFileTimeUnixEpochSeconds = 11644473600LL;
inline constexpr std::int64_t kFileTimeTicksPerSecond = 10000000LL;

// A file time as a calendar date and time of day (proleptic Gregorian, no
// time zone): 1601-01-01 for 0, up to the year 60056 for the largest value.
struct CivilTime {
    std::int64_t year = 1601;
    unsigned month = 1;
    unsigned day = 1;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
};
CivilTime civilTime(FileTime t);

// The folder list's date text: "MM/DD/YYYY hh:mm:ss", each number padded
// with a leading zero to at least two digits, hours 0 to 23, the time as
// stored (03/07/2008 14:05:09).
std::u16string formatListTime(FileTime t);

}  // namespace bkf
