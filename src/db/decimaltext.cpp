#include "db/decimaltext.h"

#include <charconv>
#include <cstdint>

namespace varnel {

namespace {

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::optional<std::string> plainDecimal(std::string_view text)
{
    while (!text.empty() && isAsciiSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isAsciiSpace(text.back()))
        text.remove_suffix(1);
    size_t i = 0;
    const size_t n = text.size();
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::string digits;
    int64_t integerDigits = -1; // digits before the decimal character
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits += c;
        } else if (c == '.' || c == ',') {
            if (integerDigits >= 0)
                return std::nullopt;
            integerDigits = int64_t(digits.size());
        } else {
            break;
        }
    }
    if (digits.empty())
        return std::nullopt;
    if (integerDigits < 0)
        integerDigits = int64_t(digits.size());
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && text[i] == '+')
            ++i;
        int exponent = 0;
        const auto result = std::from_chars(text.data() + i, text.data() + n, exponent);
        // Oracle's numbers stay within 1E-130 .. 1E126; far larger exponents are no number.
        if (result.ec != std::errc() || exponent < -400 || exponent > 400)
            return std::nullopt;
        i = size_t(result.ptr - text.data());
        integerDigits += exponent;
    }
    if (i != n)
        return std::nullopt;

    std::string whole;
    std::string fraction;
    const auto count = int64_t(digits.size());
    if (integerDigits <= 0) {
        fraction = std::string(size_t(-integerDigits), '0') + digits;
    } else if (integerDigits >= count) {
        whole = digits + std::string(size_t(integerDigits - count), '0');
    } else {
        whole = digits.substr(0, size_t(integerDigits));
        fraction = digits.substr(size_t(integerDigits));
    }
    const size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? std::string("0") : whole.substr(firstNonZero);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.pop_back();
    std::string result = whole;
    if (!fraction.empty())
        result += '.' + fraction;
    if (negative && result != "0")
        result.insert(result.begin(), '-');
    return result;
}

} // namespace varnel
