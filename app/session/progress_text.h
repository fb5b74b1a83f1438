#pragma once
// The counter label under the progress bar.

#include <cstdint>
#include <string>

namespace fw {

// A single-precision number with at most seven significant digits: whole
// numbers below 10,000,000 as plain integers, larger ones in exponent form
// ("1E+07", "1.234568E+07").
std::string formatSingle(float value);

// "<passed>/<maximum>", the text of Label3.
std::string counterText(std::int64_t passed, float maximum);

} // namespace fw
