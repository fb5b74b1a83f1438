#include "session/hex_to_byte.h"

namespace fw {

namespace {

unsigned digitValue(std::uint8_t c)
{
    if (c >= 'A' && c <= 'F')
        return static_cast<unsigned>(c - 'A' + 10);
    if (c >= '0' && c <= '9')
        return static_cast<unsigned>(c - '0');
    return 0;
}

} // namespace

std::uint8_t HexToByte(std::uint8_t high, std::uint8_t low)
{
    return static_cast<std::uint8_t>(digitValue(high) * 16 + digitValue(low));
}

} // namespace fw
