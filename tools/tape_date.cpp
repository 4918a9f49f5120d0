#include "tools/tape_date.h"

#include <charconv>
#include <cstdio>

namespace bkf::tools {

namespace {

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int monthDays(int y, int m) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Days since 1970-01-01 (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

struct Civil {
    std::int64_t year;
    int month, day, hour, minute, second;
};

Civil civilFromFileTime(FileTime t) {
    const auto seconds =
        static_cast<std::int64_t>(t / static_cast<FileTime>(kFileTimeTicksPerSecond)) - kFileTimeUnixEpochSeconds;
    std::int64_t days = seconds / 86400;
    std::int64_t rem = seconds % 86400;
    if (rem < 0) rem += 86400, --days;
    // Inverse of daysFromCivil.
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const auto d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const auto m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {y, m, d, static_cast<int>(rem / 3600), static_cast<int>(rem % 3600 / 60), static_cast<int>(rem % 60)};
}

bool readNumber(std::string_view& text, std::size_t digits, int& value) {
    if (text.size() < digits) return false;
    for (std::size_t i = 0; i < digits; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    std::from_chars(text.data(), text.data() + digits, value);
    text.remove_prefix(digits);
    return true;
}

bool readSeparator(std::string_view& text, std::string_view allowed) {
    if (text.empty() || allowed.find(text.front()) == std::string_view::npos) return false;
    text.remove_prefix(1);
    return true;
}

}  // namespace

std::optional<FileTime> fileTimeFromCivil(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > monthDays(year, month) || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    const std::int64_t s =
        daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second + kFileTimeUnixEpochSeconds;
    return static_cast<FileTime>(s) * static_cast<FileTime>(kFileTimeTicksPerSecond);
}

TapeDateBytes encodeTapeDate(int year, int month, int day, int hour, int minute, int second) {
    const std::uint64_t bits =
        (static_cast<std::uint64_t>(year & 0x3FFF) << 26) | (static_cast<std::uint64_t>(month & 0xF) << 22) |
        (static_cast<std::uint64_t>(day & 0x1F) << 17) | (static_cast<std::uint64_t>(hour & 0x1F) << 12) |
        (static_cast<std::uint64_t>(minute & 0x3F) << 6) | static_cast<std::uint64_t>(second & 0x3F);
    TapeDateBytes out{};
    for (int i = 0; i < 5; ++i) out[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (8 * (4 - i)));
    return out;
}

TapeDateBytes encodeTapeDate(FileTime time) {
    if (time == 0) return TapeDateBytes{};
    const Civil c = civilFromFileTime(time);
    return encodeTapeDate(static_cast<int>(c.year), c.month, c.day, c.hour, c.minute, c.second);
}

std::optional<FileTime> parseDateTime(std::string_view text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (!readNumber(text, 4, y) || !readSeparator(text, "-") || !readNumber(text, 2, mo) || !readSeparator(text, "-") ||
        !readNumber(text, 2, d)) {
        return std::nullopt;
    }
    if (!text.empty()) {
        if (!readSeparator(text, "T ") || !readNumber(text, 2, h) || !readSeparator(text, ":") ||
            !readNumber(text, 2, mi) || !readSeparator(text, ":") || !readNumber(text, 2, s) || !text.empty()) {
            return std::nullopt;
        }
    }
    return fileTimeFromCivil(y, mo, d, h, mi, s);
}

std::string formatDateTime(FileTime time) {
    const Civil c = civilFromFileTime(time);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02d-%02dT%02d:%02d:%02d", static_cast<long long>(c.year), c.month, c.day,
                  c.hour, c.minute, c.second);
    return text;
}

}  // namespace bkf::tools
