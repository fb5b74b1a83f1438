#include "session/progress_text.h"

#include <cstdio>

namespace fw {

std::string formatSingle(float value)
{
    // %G with seven digits is exactly the single-precision print: plain below
    // 10^7, exponent form with a capital E and two exponent digits from there
    // on, trailing zeros of the mantissa dropped.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
    return buf;
}

std::string counterText(std::int64_t passed, float maximum)
{
    return std::to_string(passed) + "/" + formatSingle(maximum);
}

} // namespace fw
