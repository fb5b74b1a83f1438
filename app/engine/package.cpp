#include "engine/package.h"

#include <algorithm>

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
        value = value * 256 + hexToByte(b[at], b[at + 1]);
    }
    return value;
}

} // namespace

std::uint8_t hexToByte(std::uint8_t high, std::uint8_t low)
{
    return static_cast<std::uint8_t>(digitValue(high) * 16 + digitValue(low));
}

std::string describe(const PackageFault& fault)
{
    const std::string at = std::to_string(fault.offset);
    switch (fault.kind) {
    case PackageFault::Kind::ShortHeader:
        return "Damaged package: the section header at offset " + at +
               " is shorter than its fields.";
    case PackageFault::Kind::NoLineEnd:
        return "Damaged package: the record at offset " + at + " ends without its line end.";
    case PackageFault::Kind::NoEndMark:
        return "Damaged package: no end mark before the end of the package at offset " + at + ".";
    }
    return "Damaged package.";
}

ScanResult scanPackage(std::span<const std::uint8_t> data)
{
    ScanResult r;
    PackageIndex& x = r.index;
    x.length = static_cast<std::int32_t>(data.size());
    bool headerOpen = false; // a header found, the next record not yet

    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i] != kSOH)
            continue;
        if (headerOpen) {
            x.sectionStart = static_cast<std::int32_t>(i);
            x.sectionCount = 1;
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
            headerOpen = true;
            x.headerValue = headerValue(data, i, wide ? 4 : 3);
            x.headerOffset = static_cast<std::int32_t>(i);
        }
    }
    return r;
}

AssembledRecord assembleRecord(std::span<const std::uint8_t> data, std::size_t position)
{
    AssembledRecord r;
    if (position >= data.size()) {
        r.fault = PackageFault{PackageFault::Kind::NoEndMark, data.size()};
        return r;
    }
    const auto begin = data.begin() + static_cast<std::ptrdiff_t>(position);
    const auto cr = std::find(begin, data.end(), kCR);
    if (cr == data.end()) {
        r.fault = PackageFault{PackageFault::Kind::NoLineEnd, position};
        return r;
    }
    r.bytes = std::span<const std::uint8_t>(begin, cr);
    r.endMark = std::find(begin, cr, kETB) != cr;
    r.next = afterLineEnd(data, static_cast<std::size_t>(cr - data.begin()));
    return r;
}

std::size_t afterLineEnd(std::span<const std::uint8_t> data, std::size_t cr)
{
    // The byte after the CR is never read, so a CR as the package's last
    // byte still ends its record.
    return std::min(cr + 2, data.size());
}

std::optional<PackageFault> damageFrom(std::span<const std::uint8_t> data, std::size_t start)
{
    for (std::size_t at = start;;) {
        const AssembledRecord r = assembleRecord(data, at);
        if (r.fault)
            return r.fault;
        if (r.endMark)
            return std::nullopt;
        at = r.next;
    }
}

} // namespace fw
