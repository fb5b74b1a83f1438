// Feeds arbitrary stored texts and list sizes through the choice of the
// entry selectListEntry selects: always an entry of the list, the nearest
// one to the number read (a half going to the even neighbour), the first
// when the number is negative or past the end; for plain decimal numbers
// exactly the entry that decimal arithmetic gives.
//
// Input: the list size from the last bytes (one byte for a short list, or
// four), the rest the text.

#include "choice/list_entries.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The entry for a text made of blanks, a sign, up to 6 whole digits and up
// to 8 decimals, then anything that cannot continue a number; worked out in
// whole numbers, digit by digit. Nothing for any other text.
std::optional<int> plainDecimalEntry(const std::string& text, int n)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    const std::size_t wholeStart = i;
    long long whole = 0;
    while (i < text.size() && isDigit(text[i])) {
        if (i - wholeStart < 7)
            whole = whole * 10 + (text[i] - '0');
        ++i;
    }
    const std::size_t wholeDigits = i - wholeStart;
    std::string decimals;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i]))
            decimals += text[i++];
    }
    if (wholeDigits + decimals.size() == 0 || wholeDigits > 6 || decimals.size() > 8)
        return std::nullopt;
    if (i < text.size() && (isDigit(text[i]) || text[i] == '.' || text[i] == 'e' || text[i] == 'E'))
        return std::nullopt;

    const bool zero = whole == 0 && decimals.find_first_not_of('0') == std::string::npos;
    if ((negative && !zero) || whole >= n)
        return 0;
    // Compare the decimals with one half.
    int half = 0; // -1 below, 0 exactly, 1 above
    if (decimals.empty() || decimals[0] < '5')
        half = -1;
    else if (decimals[0] > '5' || decimals.find_first_not_of('0', 1) != std::string::npos)
        half = 1;
    long long nearest = whole;
    if (half > 0 || (half == 0 && whole % 2 == 1))
        nearest = whole + 1;
    // Nearest to n itself, which is no entry: the last one.
    return static_cast<int>(nearest >= n ? n - 1 : nearest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider in(bytes, size);
    const int n = in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(1, 40)
                                   : in.ConsumeIntegralInRange<int>(1, INT_MAX);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const int entry = fw::listEntryFor(text, n);
    require(entry >= 0 && entry < n);

    const double v = fw::leadingNumber(text);
    require(!std::isnan(v));
    if (v >= 0.0 && v < static_cast<double>(n))
        require(std::fabs(entry - v) <= 0.5 || (entry == n - 1 && v >= n - 0.5));
    else
        require(entry == 0);

    if (const std::optional<int> expected = plainDecimalEntry(text, n))
        require(entry == *expected);
    return 0;
}
