#pragma once

#include <cstdint>

namespace fw {

// Two hexadecimal digits, most significant first, to one byte. Only "0"-"9"
// and upper-case "A"-"F" are digits; anything else counts as 0.
std::uint8_t HexToByte(std::uint8_t high, std::uint8_t low);

} // namespace fw
