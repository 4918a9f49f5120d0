#include "base/file_time.h"

namespace bkf {

namespace {

// Days since 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's
// civil_from_days), for any 64-bit day count a file time can give.
void civilFromDays(std::int64_t z, std::int64_t& year, unsigned& month, unsigned& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2 ? 1 : 0);
}

void appendPadded(std::u16string& out, std::uint64_t value) {
    char16_t digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (n < 2) out += u'0';
    while (n > 0) out += digits[--n];
}

}  // namespace

CivilTime civilTime(FileTime t) {
    const std::uint64_t totalSeconds = t / static_cast<std::uint64_t>(kFileTimeTicksPerSecond);
    const auto days = static_cast<std::int64_t>(totalSeconds / 86400);
    const auto rest = static_cast<unsigned>(totalSeconds % 86400);
    CivilTime c;
    // 1601-01-01 is day -134774 from 1970-01-01.
    civilFromDays(days - kFileTimeUnixEpochSeconds / 86400, c.year, c.month, c.day);
    c.hour = rest / 3600;
    c.minute = rest / 60 % 60;
    c.second = rest % 60;
    return c;
}

std::u16string formatListTime(FileTime t) {
    const CivilTime c = civilTime(t);
    std::u16string out;
    out.reserve(19);
    appendPadded(out, c.month);
    out += u'/';
    appendPadded(out, c.day);
    out += u'/';
    appendPadded(out, static_cast<std::uint64_t>(c.year));
    out += u' ';
    appendPadded(out, c.hour);
    out += u':';
    appendPadded(out, c.minute);
    out += u':';
    appendPadded(out, c.second);
    return out;
}

}  // namespace bkf
