#include "oraclefunctions.h"

#include "../civiltime.h"

#include <QChar>

#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

namespace varnel::embedded {

namespace {

bool isAscii(std::string_view s) noexcept
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Length in bytes of the UTF-8 sequence that starts with `lead`; a stray byte counts as one
// character, so malformed text never reads past its end.
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

// Byte offsets of the characters of s, plus one entry for the end.
std::vector<size_t> characterOffsets(std::string_view s)
{
    std::vector<size_t> offsets;
    offsets.reserve(s.size() + 1);
    for (size_t i = 0; i < s.size();) {
        offsets.push_back(i);
        i += std::min<size_t>(static_cast<size_t>(sequenceLength(static_cast<unsigned char>(s[i]))),
                              s.size() - i);
    }
    offsets.push_back(s.size());
    return offsets;
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

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void upperFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const std::string_view s = textArgument(argv[0]);
    std::string out(s);
    if (isAscii(s)) {
        for (char& c : out)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return resultText(ctx, out);
    }
    // Simple one-to-one case mapping per character, as Oracle's UPPER does: the length in
    // characters never changes, so positions found in the upper-cased text hold in the original.
    out.clear();
    for (size_t i = 0; i < s.size();) {
        const auto lead = static_cast<unsigned char>(s[i]);
        const int len = sequenceLength(lead);
        if (len == 1 || i + static_cast<size_t>(len) > s.size()) {
            out += static_cast<char>(lead >= 'a' && lead <= 'z' ? lead - 'a' + 'A' : lead);
            ++i;
            continue;
        }
        char32_t cp = lead & (0x7F >> len);
        for (int k = 1; k < len; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        appendUtf8(out, QChar::toUpper(cp));
        i += static_cast<size_t>(len);
    }
    resultText(ctx, out);
}

void substrFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv)
{
    if (anyNull(argc, argv))
        return sqlite3_result_null(ctx);
    const std::string_view s = textArgument(argv[0]);
    int64_t position = integerArgument(argv[1]);
    const bool ascii = isAscii(s);
    const std::vector<size_t> offsets = ascii ? std::vector<size_t>() : characterOffsets(s);
    const auto characters = static_cast<int64_t>(ascii ? s.size() : offsets.size() - 1);

    int64_t start = 0;
    if (position == 0)
        position = 1;
    if (position > 0) {
        start = position - 1;
        if (start >= characters)
            return sqlite3_result_null(ctx);
    } else {
        start = characters + position;
        if (start < 0)
            return sqlite3_result_null(ctx);
    }
    int64_t end = characters;
    if (argc == 3) {
        const int64_t length = integerArgument(argv[2]);
        if (length < 1)
            return sqlite3_result_null(ctx);
        end = length > characters - start ? characters : start + length;
    }
    if (ascii)
        return resultText(ctx,
                          s.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
    resultText(ctx,
               s.substr(offsets[static_cast<size_t>(start)],
                        offsets[static_cast<size_t>(end)] - offsets[static_cast<size_t>(start)]));
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

    const bool ascii = isAscii(s);
    const std::vector<size_t> offsets = ascii ? std::vector<size_t>() : characterOffsets(s);
    const auto characters = static_cast<int64_t>(ascii ? s.size() : offsets.size() - 1);
    auto byteOf = [&](int64_t character) {
        return ascii ? static_cast<size_t>(character) : offsets[static_cast<size_t>(character)];
    };
    auto characterOf = [&](size_t byte) -> int64_t {
        if (ascii)
            return static_cast<int64_t>(byte);
        return std::lower_bound(offsets.begin(), offsets.end(), byte) - offsets.begin();
    };

    int64_t found = 0;
    if (position > 0) {
        if (position > characters)
            return sqlite3_result_int64(ctx, 0);
        size_t from = byteOf(position - 1);
        for (int64_t n = 0; n < occurrence; ++n) {
            const size_t at = s.find(needle, from);
            if (at == std::string_view::npos)
                return sqlite3_result_int64(ctx, 0);
            found = characterOf(at) + 1;
            from = byteOf(found); // the next match may start one character later
        }
    } else {
        // A negative position counts from the end and searches backwards; a match may start
        // at that character at the latest.
        int64_t last = characters + position;
        if (last < 0)
            return sqlite3_result_int64(ctx, 0);
        for (int64_t n = 0; n < occurrence; ++n) {
            const size_t at = s.rfind(needle, byteOf(last));
            if (at == std::string_view::npos)
                return sqlite3_result_int64(ctx, 0);
            found = characterOf(at) + 1;
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
            char stored[19];
            civil::formatStoredDateTime(civil::dayOf(seconds) * civil::kSecondsPerDay, stored);
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
        {"upper", 1, upperFunction}, {"substr", 2, substrFunction}, {"substr", 3, substrFunction},
        {"instr", 2, instrFunction}, {"instr", 3, instrFunction},   {"instr", 4, instrFunction},
        {"trunc", 1, truncFunction},
    };
    for (const Registration& r : functions)
        sqlite3_create_function_v2(db, r.name, r.arguments, flags, nullptr, r.function, nullptr,
                                   nullptr, nullptr);
}

} // namespace varnel::embedded
