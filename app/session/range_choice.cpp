#include "session/range_choice.h"

#include "session/protocol_bytes.h"
#include "session/record_assembly.h"

#include <algorithm>

namespace fw {

namespace {

RangeChoice fromSection(const PackageIndex& index)
{
    RangeChoice r;
    const std::size_t n = index.sectionCount;
    r.position = index.sectionStarts[n];
    r.maximum = index.sectionEnds[n] - r.position;
    return r;
}

RangeChoice invalid()
{
    RangeChoice r;
    r.kind = RangeChoice::Kind::InvalidModel;
    return r;
}

// MDL40 printers take the package from its second record on.
RangeChoice afterFirstRecord(const PackageIndex& index, std::span<const std::uint8_t> data)
{
    RangeChoice r;
    const auto cr = std::find(data.begin(), data.end(), kCR);
    if (cr == data.end()) {
        r.kind = RangeChoice::Kind::Damaged;
        r.fault = PackageFault{PackageFault::Kind::NoLineEnd, 0};
        return r;
    }
    r.position = static_cast<std::int32_t>(afterLineEnd(data, static_cast<std::size_t>(cr - data.begin())));
    r.maximum = index.sectionEnds[0];
    return r;
}

} // namespace

RangeChoice chooseRange(const PackageIndex& index, std::uint8_t modelCode,
                        std::span<const std::uint8_t> data)
{
    switch (modelCode) {
    case kModelQueryFailed: {
        RangeChoice r;
        r.kind = RangeChoice::Kind::EarlyEnd;
        return r;
    }
    case kModelMDL40:
        return index.modelRecord ? afterFirstRecord(index, data) : invalid();
    case kModelTVK3:
    case kModelK20T:
        return fromSection(index);
    default:
        if (index.sectionCount == 0 && index.modelRecord)
            return invalid();
        return fromSection(index);
    }
}

} // namespace fw
