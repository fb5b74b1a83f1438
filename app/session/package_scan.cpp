#include "session/package_scan.h"

#include "session/hex_to_byte.h"
#include "session/protocol_bytes.h"

namespace fw {

namespace {

// Offset of the last value digit after the SOH, by header type.
constexpr std::size_t kLastDigit90 = 11;
constexpr std::size_t kLastDigit93 = 13;

// The header's bytes from its type to its last value digit must lie inside
// the package and inside the header record itself (no CR among them).
bool headerComplete(std::span<const std::uint8_t> data, std::size_t soh, std::size_t lastDigit)
{
    if (soh + lastDigit >= data.size())
        return false;
    for (std::size_t k = 1; k <= lastDigit; ++k)
        if (data[soh + k] == kCR)
            return false;
    return true;
}

std::uint32_t headerValue(std::span<const std::uint8_t> b, std::size_t i, int digitPairs)
{
    std::uint32_t value = 0;
    for (int p = 0; p < digitPairs; ++p) {
        const std::size_t at = i + 6 + 2 * static_cast<std::size_t>(p);
        value = value * 256 + HexToByte(b[at], b[at + 1]);
    }
    return value;
}

} // namespace

ScanResult scanPackage(std::span<const std::uint8_t> data)
{
    ScanResult r;
    PackageIndex& x = r.index;
    const auto length = static_cast<std::int32_t>(data.size());
    x.sectionEnds[0] = length;
    x.sectionEnds[1] = length;

    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != kSOH)
            continue;
        if (x.headerOpen) {
            x.sectionEnds[x.sectionCount] = static_cast<std::int32_t>(i);
            x.sectionStarts[x.sectionCount + 1U] = static_cast<std::int32_t>(i);
            ++x.sectionCount;
            x.headerOpen = false;
            break;
        }
        const std::uint8_t t1 = i + 1 < data.size() ? data[i + 1] : 0;
        const std::uint8_t t2 = i + 2 < data.size() ? data[i + 2] : 0;
        if (t1 != '9')
            continue;
        if (t2 == '7') {
            x.modelRecord = true;
        } else if (t2 == '0' || t2 == '3') {
            const bool wide = t2 == '3';
            if (!headerComplete(data, i, wide ? kLastDigit93 : kLastDigit90)) {
                r.fault = PackageFault{PackageFault::Kind::ShortHeader, i};
                break;
            }
            x.headerOpen = true;
            x.headerValue = headerValue(data, i, wide ? 4 : 3);
        }
    }
    return r;
}

} // namespace fw
