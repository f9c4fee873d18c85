#pragma once

#include <cstdint>

namespace varnel::civil {

// Date-times of the snapshot are naive local wall-clock times, counted in seconds from
// 1970-01-01 00:00:00 with no time zone applied: a DATE of Oracle has no zone either, and a
// conversion through the local zone would shift records across a daylight-saving change.
// The day arithmetic is Howard Hinnant's proleptic Gregorian algorithm, valid far beyond
// Oracle's years -4712..9999.

constexpr int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) noexcept
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

struct Ymd {
    int64_t year;
    unsigned month;
    unsigned day;
};

constexpr Ymd civilFromDays(int64_t z) noexcept
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {y + (m <= 2), m, d};
}

constexpr bool isLeap(int64_t y) noexcept
{
    return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
}

constexpr unsigned daysInMonth(int64_t y, unsigned m) noexcept
{
    constexpr unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29u : days[m - 1];
}

constexpr int64_t kSecondsPerDay = 86400;

constexpr int64_t toSeconds(int64_t y, unsigned mo, unsigned d, unsigned h, unsigned mi,
                            unsigned s) noexcept
{
    return daysFromCivil(y, mo, d) * kSecondsPerDay + h * 3600 + mi * 60 + s;
}

// Floor division, so that times before 1970 still fall on the right day.
constexpr int64_t dayOf(int64_t seconds) noexcept
{
    return seconds >= 0 ? seconds / kSecondsPerDay
                        : -((-seconds + kSecondsPerDay - 1) / kSecondsPerDay);
}

constexpr int64_t secondOfDay(int64_t seconds) noexcept
{
    return seconds - dayOf(seconds) * kSecondsPerDay;
}

// Oracle's RR rule for a two-digit year: the century that puts the year nearest to the
// current one (in 2026, 00-49 are 2000-2049 and 50-99 are 1950-1999). What the database makes
// of a two-digit year, and so what a picker completes one to.
constexpr int rrYear(int twoDigits, int currentYear) noexcept
{
    const int century = currentYear / 100 * 100;
    if (currentYear % 100 < 50)
        return twoDigits < 50 ? century + twoDigits : century - 100 + twoDigits;
    return twoDigits < 50 ? century + 100 + twoDigits : century + twoDigits;
}

// Parses the stored text form 'YYYY-MM-DD HH:MM:SS' (also 'YYYY-MM-DD', a 'T' in place of the
// blank, and a fraction of a second of any number of digits). The fraction's first nine digits
// are its nanoseconds (TIMESTAMP(9) is Oracle's finest); further digits are cut off, never
// rounded, so that no fraction carries into the next second. Returns false on anything else.
bool parseStoredDateTime(const char* text, int64_t length, int64_t& seconds,
                         uint32_t& nanoseconds) noexcept;
// The same with the fraction dropped.
bool parseStoredDateTime(const char* text, int64_t length, int64_t& seconds) noexcept;

// Writes 'YYYY-MM-DD HH:MM:SS' (19 characters, no terminator) for years 0..9999.
void formatStoredDateTime(int64_t seconds, char out[19]) noexcept;

// The longest stored form: a fraction of nine digits after the seconds.
constexpr int kStoredDateTimeLength = 29;
// Writes 'YYYY-MM-DD HH:MM:SS' and, unless `nanoseconds` is 0, '.' and its nine digits; returns
// the characters written (19 or 29). One value has exactly one such text, whatever form the
// writer of a record used: equal texts are equal times.
int formatStoredDateTime(int64_t seconds, uint32_t nanoseconds,
                         char out[kStoredDateTimeLength]) noexcept;

} // namespace varnel::civil
