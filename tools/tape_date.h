// Writing side of the 5-byte tape dates, and the date text the script uses.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_time.h"

namespace bkf::tools {

using TapeDateBytes = std::array<std::uint8_t, 5>;

// The file time of a calendar date and time (no time zone); nullopt for a
// date before 1601 or one that does not exist. Note that a file time of 0
// (1601-01-01T00:00:00) is written as "no date".
std::optional<FileTime> fileTimeFromCivil(int year, int month, int day, int hour, int minute, int second);

// A file time cut to whole seconds, which is all a tape date holds.
inline constexpr FileTime wholeSeconds(FileTime t) {
    return t - t % static_cast<FileTime>(kFileTimeTicksPerSecond);
}

// 40 bits, most significant first: year 14, month 4, day 5, hour 5, minute 6,
// second 6. A file time of 0 gives five zero bytes (no date); the year is
// kept to its 14 bits.
TapeDateBytes encodeTapeDate(FileTime time);
TapeDateBytes encodeTapeDate(int year, int month, int day, int hour, int minute, int second);

// "2008-06-09T21:09:15", "2008-06-09 21:09:15" or "2008-06-09"; nullopt when
// malformed or not a real date.
std::optional<FileTime> parseDateTime(std::string_view text);
// The same form back: "2008-06-09T21:09:15" (sub-second ticks dropped).
std::string formatDateTime(FileTime time);

}  // namespace bkf::tools
