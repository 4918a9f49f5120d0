#include "base/file_time.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace bkf {
namespace {

FileTime at(std::int64_t unixSeconds) {
    return static_cast<FileTime>((unixSeconds + kFileTimeUnixEpochSeconds) * kFileTimeTicksPerSecond);
}

std::string listTime(FileTime t) {
    return utf16ToUtf8(formatListTime(t));
}

TEST(ListTime, MonthDayYearAndA24HourClockWithoutTimeZone) {
    EXPECT_EQ(listTime(at(1204898709)), "03/07/2008 14:05:09");
    EXPECT_EQ(listTime(at(0)), "01/01/1970 00:00:00");
    EXPECT_EQ(listTime(at(951782400 - 1)), "02/28/2000 23:59:59");
    EXPECT_EQ(listTime(at(951782400)), "02/29/2000 00:00:00") << "a leap day of a year divisible by 400";
    EXPECT_EQ(listTime(at(4107542400)), "03/01/2100 00:00:00") << "2100 has no 29 February";
    // Ticks below one second do not round up.
    EXPECT_EQ(listTime(at(59) + kFileTimeTicksPerSecond - 1), "01/01/1970 00:00:59");
}

TEST(ListTime, EveryFileTimeHasADate) {
    EXPECT_EQ(listTime(0), "01/01/1601 00:00:00") << "an unreadable time cell gives 0";
    const CivilTime last = civilTime(~FileTime{0});
    EXPECT_EQ(last.year, 60056);
    EXPECT_EQ(listTime(~FileTime{0}), "05/28/60056 05:36:10");
    const CivilTime far = civilTime(at(253402300799));  // 9999-12-31 23:59:59
    EXPECT_EQ(far.year, 9999);
    EXPECT_EQ(far.month, 12u);
    EXPECT_EQ(far.day, 31u);
}

}  // namespace
}  // namespace bkf
