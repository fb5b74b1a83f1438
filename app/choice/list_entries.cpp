#include "choice/list_entries.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>

namespace fw {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t digitsFrom(const std::string& s, std::size_t i)
{
    while (i < s.size() && isDigit(s[i]))
        ++i;
    return i;
}

} // namespace

double leadingNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Only plain decimal notation counts: no "inf", "nan" or hexadecimal.
    const std::size_t start = i;
    std::size_t end = digitsFrom(text, i);
    bool anyDigit = end > start;
    if (end < text.size() && text[end] == '.') {
        const std::size_t fracEnd = digitsFrom(text, end + 1);
        anyDigit = anyDigit || fracEnd > end + 1;
        end = fracEnd;
    }
    if (!anyDigit)
        return 0.0;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        const std::size_t expEnd = digitsFrom(text, e);
        if (expEnd > e)
            end = expEnd;
    }
    double v = 0.0;
    const auto r = std::from_chars(text.data() + start, text.data() + end, v);
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: a negative exponent means nearly 0,
        // anything else a number too large for any list.
        const std::string digits = text.substr(start, end - start);
        const auto exp = digits.find_first_of("eE");
        v = (exp != std::string::npos && exp + 1 < digits.size() && digits[exp + 1] == '-')
                ? 0.0
                : HUGE_VAL;
    }
    return negative ? -v : v;
}

double roundHalfEven(double v)
{
    const double down = std::floor(v);
    const double rest = v - down;
    if (rest < 0.5)
        return down;
    if (rest > 0.5)
        return down + 1.0;
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}

int listEntryFor(const std::string& text, int n)
{
    const double v = leadingNumber(text);
    if (!(v >= 0.0) || !(v < static_cast<double>(n)))
        return 0;
    const double nearest = roundHalfEven(v);
    return nearest >= static_cast<double>(n) ? n - 1 : static_cast<int>(nearest);
}

std::string usbEntryName(int k)
{
    return (k < 10 ? "USB00" : "USB0") + std::to_string(k);
}

namespace {

// The leading number of a list text as a whole number; 0 when it is too
// large to be one, which the channel then refuses.
int wholeNumber(const std::string& text)
{
    const double v = roundHalfEven(leadingNumber(text));
    if (!(v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()))
        return 0;
    return static_cast<int>(v);
}

} // namespace

SerialLine serialLineFromTexts(const std::string& baud, const std::string& parity,
                               const std::string& dataBits, const std::string& stopBits)
{
    SerialLine line;
    line.baud = wholeNumber(baud);
    line.parity = parity.empty() ? '\0' : parity.front();
    line.dataBits = wholeNumber(dataBits);
    line.stopBits = wholeNumber(stopBits);
    return line;
}

} // namespace fw
