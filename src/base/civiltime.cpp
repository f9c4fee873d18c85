#include "base/civiltime.h"

namespace varnel::civil {

namespace {

bool digits(const char* p, int n, unsigned& value) noexcept
{
    value = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned c = static_cast<unsigned char>(p[i]) - '0';
        if (c > 9)
            return false;
        value = value * 10 + c;
    }
    return true;
}

void put(char* p, int n, int64_t value) noexcept
{
    for (int i = n - 1; i >= 0; --i) {
        p[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

} // namespace

bool parseStoredDateTime(const char* text, int64_t length, int64_t& seconds,
                         uint32_t& nanoseconds) noexcept
{
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    uint32_t fraction = 0;
    if (length < 10 || !digits(text, 4, y) || text[4] != '-' || !digits(text + 5, 2, mo) ||
        text[7] != '-' || !digits(text + 8, 2, d))
        return false;
    if (length > 10) {
        if (length < 19 || (text[10] != ' ' && text[10] != 'T') || !digits(text + 11, 2, h) ||
            text[13] != ':' || !digits(text + 14, 2, mi) || text[16] != ':' ||
            !digits(text + 17, 2, s))
            return false;
        if (length > 19) {
            if (text[19] != '.' || length == 20)
                return false;
            uint32_t scale = 100000000;
            for (int64_t i = 20; i < length; ++i) {
                const unsigned digit = static_cast<unsigned char>(text[i]) - '0';
                if (digit > 9)
                    return false;
                fraction += digit * scale;
                scale /= 10;
            }
        }
    }
    if (mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59 || s > 59)
        return false;
    seconds = toSeconds(y, mo, d, h, mi, s);
    nanoseconds = fraction;
    return true;
}

bool parseStoredDateTime(const char* text, int64_t length, int64_t& seconds) noexcept
{
    uint32_t nanoseconds = 0;
    return parseStoredDateTime(text, length, seconds, nanoseconds);
}

void formatStoredDateTime(int64_t seconds, char out[19]) noexcept
{
    const Ymd date = civilFromDays(dayOf(seconds));
    const int64_t sod = secondOfDay(seconds);
    put(out, 4, date.year);
    out[4] = '-';
    put(out + 5, 2, date.month);
    out[7] = '-';
    put(out + 8, 2, date.day);
    out[10] = ' ';
    put(out + 11, 2, sod / 3600);
    out[13] = ':';
    put(out + 14, 2, sod / 60 % 60);
    out[16] = ':';
    put(out + 17, 2, sod % 60);
}

int formatStoredDateTime(int64_t seconds, uint32_t nanoseconds,
                         char out[kStoredDateTimeLength]) noexcept
{
    formatStoredDateTime(seconds, out);
    if (nanoseconds == 0)
        return 19;
    out[19] = '.';
    put(out + 20, 9, nanoseconds);
    return kStoredDateTimeLength;
}

} // namespace varnel::civil
