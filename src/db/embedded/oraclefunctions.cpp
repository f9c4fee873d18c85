#include "db/embedded/oraclefunctions.h"

#include "base/civiltime.h"

#include <QChar>

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <compare>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace varnel::embedded {

namespace {

// Length in bytes of the UTF-8 sequence that starts with `lead`.
int sequenceLength(unsigned char lead) noexcept
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

// Where the character after the one starting at byte `i` starts. A stray byte counts as one
// character and a sequence cut off by the end ends there, so malformed text never reads past
// its end. Characters are walked, not indexed: the texts are short, and a table of offsets
// would cost an allocation per call.
size_t nextCharacter(std::string_view s, size_t i) noexcept
{
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0x80)
        return i + 1;
    return i + std::min<size_t>(static_cast<size_t>(sequenceLength(lead)), s.size() - i);
}

// The byte where the character `count` characters after the one at byte `from` starts, or the
// end of the text.
size_t skipCharacters(std::string_view s, size_t from, int64_t count) noexcept
{
    for (; count > 0 && from < s.size(); --count)
        from = nextCharacter(s, from);
    return from;
}

// How many characters start in [from, to); `from` is where a character starts.
int64_t charactersBetween(std::string_view s, size_t from, size_t to) noexcept
{
    int64_t count = 0;
    for (size_t i = from; i < to && i < s.size(); i = nextCharacter(s, i))
        ++count;
    return count;
}

std::string_view textArgument(sqlite3_value* value)
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_value_text(value));
    return {data ? data : "", static_cast<size_t>(sqlite3_value_bytes(value))};
}

bool anyNull(int argc, sqlite3_value** argv)
{
    for (int i = 0; i < argc; ++i)
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            return true;
    return false;
}

// Oracle truncates fractional positions and lengths toward zero.
int64_t integerArgument(sqlite3_value* value)
{
    if (sqlite3_value_numeric_type(value) == SQLITE_INTEGER)
        return sqlite3_value_int64(value);
    const double d = std::trunc(sqlite3_value_double(value));
    if (d >= 9.2e18)
        return INT64_MAX;
    if (d <= -9.2e18)
        return INT64_MIN + 1;
    return static_cast<int64_t>(d);
}

void resultText(sqlite3_context* ctx, std::string_view text)
{
    if (text.empty())
        sqlite3_result_null(ctx); // Oracle has no empty text: it is NULL
    else
        sqlite3_result_text64(ctx, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Writes `cp` as UTF-8 at `out`; returns the bytes written.
size_t appendUtf8(char* out, char32_t cp)
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

void upperFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const std::string_view s = textArgument(argv[0]);
    if (s.empty())
        return sqlite3_result_null(ctx);
    // Written straight into the buffer that SQLite takes over. Simple one-to-one case mapping
    // per character, as Oracle's UPPER does: the length in characters never changes, so
    // positions found in the upper-cased text hold in the original. A character's upper case
    // takes at most half as many bytes again (two become three).
    auto* out = static_cast<char*>(std::malloc(s.size() + s.size() / 2 + 4));
    if (out == nullptr)
        return sqlite3_result_error_nomem(ctx);
    size_t n = 0;
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const int len = sequenceLength(lead);
        if (len == 1 || i + static_cast<size_t>(len) > s.size()) {
            out[n++] = static_cast<char>(static_cast<unsigned>(lead - 'a') < 26u ? lead - 'a' + 'A'
                                                                                 : lead);
            ++i;
            continue;
        }
        char32_t cp = lead & (0x7F >> len);
        for (int k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        n += appendUtf8(out + n, QChar::toUpper(cp));
        i += static_cast<size_t>(len);
    }
    sqlite3_result_text64(ctx, out, n, std::free, SQLITE_UTF8);
}

void substrFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const std::string_view s = textArgument(argv[0]);
    int64_t position = integerArgument(argv[1]);
    if (position == 0)
        position = 1;
    size_t from = 0;
    if (position > 0) {
        from = skipCharacters(s, 0, position - 1);
        if (from == s.size())
            return sqlite3_result_null(ctx); // starts past the end
    } else {
        const int64_t start = charactersBetween(s, 0, s.size()) + position;
        if (start < 0)
            return sqlite3_result_null(ctx);
        from = skipCharacters(s, 0, start);
    }
    size_t to = s.size();
    if (argc == 3) {
        const int64_t length = integerArgument(argv[2]);
        if (length < 1)
            return sqlite3_result_null(ctx);
        to = skipCharacters(s, from, length);
    }
    resultText(ctx, s.substr(from, to - from));
}

void instrFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const std::string_view s = textArgument(argv[0]);
    const std::string_view needle = textArgument(argv[1]);
    if (s.empty() || needle.empty())
        return sqlite3_result_null(ctx); // an empty text is NULL in Oracle
    const int64_t position = argc >= 3 ? integerArgument(argv[2]) : 1;
    const int64_t occurrence = argc >= 4 ? integerArgument(argv[3]) : 1;
    if (occurrence < 1) {
        sqlite3_result_error(ctx, "ORA-01428: argument is out of range", -1);
        return;
    }
    if (position == 0)
        return sqlite3_result_int64(ctx, 0);

    int64_t found = 0;
    if (position > 0) {
        int64_t index = position - 1; // of the character at `from`
        size_t from = skipCharacters(s, 0, index);
        if (from == s.size())
            return sqlite3_result_int64(ctx, 0); // starts past the end
        for (int64_t n = 0; n < occurrence; ++n) {
            const size_t at = s.find(needle, from);
            if (at == std::string_view::npos)
                return sqlite3_result_int64(ctx, 0);
            found = index + charactersBetween(s, from, at) + 1;
            if (n + 1 < occurrence) {
                // The next match may start one character later.
                from = skipCharacters(s, 0, found);
                index = found;
            }
        }
    } else {
        // A negative position counts from the end and searches backwards; a match may start
        // at that character at the latest.
        int64_t last = charactersBetween(s, 0, s.size()) + position;
        if (last < 0)
            return sqlite3_result_int64(ctx, 0);
        for (int64_t n = 0; n < occurrence; ++n) {
            const size_t at = s.rfind(needle, skipCharacters(s, 0, last));
            if (at == std::string_view::npos)
                return sqlite3_result_int64(ctx, 0);
            found = charactersBetween(s, 0, at) + 1;
            last = found - 2;
            if (last < 0 && n + 1 < occurrence)
                return sqlite3_result_int64(ctx, 0);
        }
    }
    sqlite3_result_int64(ctx, found);
}

void truncFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    sqlite3_value* value = argv[0];
    if (sqlite3_value_type(value) == SQLITE_TEXT) {
        const std::string_view s = textArgument(value);
        int64_t seconds = 0;
        if (civil::parseStoredDateTime(s.data(), static_cast<int64_t>(s.size()), seconds)) {
            // A valid stored date starts with its day as 'YYYY-MM-DD': keep that, drop the time.
            char stored[19] = {0,   0,   0,   0,   0,   0,   0,   0,   0,  0,
                               ' ', '0', '0', ':', '0', '0', ':', '0', '0'};
            std::copy_n(s.data(), 10, stored);
            return sqlite3_result_text(ctx, stored, 19, SQLITE_TRANSIENT);
        }
    }
    switch (sqlite3_value_numeric_type(value)) {
    case SQLITE_INTEGER:
        return sqlite3_result_int64(ctx, sqlite3_value_int64(value));
    case SQLITE_FLOAT: {
        const double t = std::trunc(sqlite3_value_double(value));
        if (t > -9.2e18 && t < 9.2e18)
            return sqlite3_result_int64(ctx, static_cast<int64_t>(t));
        return sqlite3_result_double(ctx, t);
    }
    default:
        sqlite3_result_error(ctx, "ORA-01722: invalid number", -1);
    }
}

// to_date(text, format) and to_timestamp(text, format), each in the one format the program
// writes a bound date-time in, as the stored date-time text: to_date keeps whole seconds, as
// a DATE does, to_timestamp the fraction too.
template <bool kFraction>
void toDateTimeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const std::string_view format = textArgument(argv[1]);
    constexpr std::string_view known =
        kFraction ? "YYYY-MM-DD HH24:MI:SS.FF9" : "YYYY-MM-DD HH24:MI:SS";
    if (format.size() != known.size() ||
        !std::equal(format.begin(), format.end(), known.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) == b;
        }))
        return sqlite3_result_error(ctx, "ORA-01821: date format not recognized", -1);
    const std::string_view text = textArgument(argv[0]);
    int64_t seconds = 0;
    uint32_t nanoseconds = 0;
    if (!civil::parseStoredDateTime(text.data(), static_cast<int64_t>(text.size()), seconds,
                                    nanoseconds))
        return sqlite3_result_error(ctx, "ORA-01861: literal does not match format string", -1);
    char stored[civil::kStoredDateTimeLength];
    const int length = civil::formatStoredDateTime(seconds, kFraction ? nanoseconds : 0, stored);
    sqlite3_result_text(ctx, stored, length, SQLITE_TRANSIENT);
}

// Date-time texts in order of the times they stand for, whatever form each was written in;
// every other text after them, in byte order. A total order, as SQLite requires of a
// collation.
int compareDateTimes(void*, int leftLength, const void* left, int rightLength, const void* right)
{
    const auto* a = static_cast<const char*>(left);
    const auto* b = static_cast<const char*>(right);
    int64_t aSeconds = 0, bSeconds = 0;
    uint32_t aNanoseconds = 0, bNanoseconds = 0;
    const bool aTime = civil::parseStoredDateTime(a, leftLength, aSeconds, aNanoseconds);
    const bool bTime = civil::parseStoredDateTime(b, rightLength, bSeconds, bNanoseconds);
    if (aTime && bTime) {
        const auto order = std::pair(aSeconds, aNanoseconds) <=> std::pair(bSeconds, bNanoseconds);
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }
    if (aTime != bTime)
        return aTime ? -1 : 1;
    const int common = std::memcmp(a, b, static_cast<size_t>(std::min(leftLength, rightLength)));
    return common != 0 ? common : (leftLength > rightLength) - (leftLength < rightLength);
}

} // namespace

void registerOracleFunctions(sqlite3* db)
{
    constexpr int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    struct Registration {
        const char* name;
        int arguments;
        void (*function)(sqlite3_context*, int, sqlite3_value**);
    };
    static const Registration functions[] = {
        {"upper", 1, upperFunction},
        {"substr", 2, substrFunction},
        {"substr", 3, substrFunction},
        {"instr", 2, instrFunction},
        {"instr", 3, instrFunction},
        {"instr", 4, instrFunction},
        {"trunc", 1, truncFunction},
        {"to_date", 2, toDateTimeFunction<false>},
        {"to_timestamp", 2, toDateTimeFunction<true>},
    };
    for (const Registration& r : functions)
        sqlite3_create_function_v2(db, r.name, r.arguments, flags, nullptr, r.function, nullptr,
                                   nullptr, nullptr);
    sqlite3_create_collation_v2(db, kDateTimeCollation, SQLITE_UTF8, nullptr, compareDateTimes,
                                nullptr);
}

} // namespace varnel::embedded
