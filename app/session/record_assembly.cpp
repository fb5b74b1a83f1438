#include "session/record_assembly.h"

#include "session/protocol_bytes.h"

#include <algorithm>

namespace fw {

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

std::optional<PackageFault> findDamage(std::span<const std::uint8_t> data, const PackageIndex& index)
{
    // Every place the range choice can start from, whatever the printer
    // answers: the first record, the section after the header, and the
    // second record for MDL40 printers.
    std::size_t starts[3] = {0, static_cast<std::size_t>(index.sectionStarts[index.sectionCount]), 0};
    std::size_t count = 2;
    if (index.modelRecord) {
        const auto cr = std::find(data.begin(), data.end(), kCR);
        if (cr == data.end())
            return PackageFault{PackageFault::Kind::NoLineEnd, 0};
        starts[count++] = afterLineEnd(data, static_cast<std::size_t>(cr - data.begin()));
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0 && starts[k] == starts[0])
            continue;
        for (std::size_t at = starts[k];;) {
            const AssembledRecord r = assembleRecord(data, at);
            if (r.fault)
                return r.fault;
            if (r.endMark)
                break;
            at = r.next;
        }
    }
    return std::nullopt;
}

} // namespace fw
