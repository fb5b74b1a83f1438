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
    if (cr == data.end() || cr + 1 == data.end()) {
        r.fault = PackageFault{PackageFault::Kind::NoLineEnd, position};
        return r;
    }
    r.bytes = std::span<const std::uint8_t>(begin, cr);
    r.endMark = std::find(begin, cr, kETB) != cr;
    r.next = static_cast<std::size_t>(cr - data.begin()) + 2;
    return r;
}

} // namespace fw
