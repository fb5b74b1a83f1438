// Feeds arbitrary packages through the scan, the range choice for every model
// code and the assembly of every record that would be sent, and checks that
// nothing points outside the package, that the way each answer selects is
// found damaged exactly when its transfer would run out, and that a package
// found undamaged up front has a whole way for some answer.

#include "engine/package.h"
#include "engine/protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

// True when the walk reached the record with the end mark.
bool walkRecords(std::span<const std::uint8_t> data, std::size_t position)
{
    // Each record moves the position on by at least its CR, so the walk ends
    // within the package length.
    for (std::size_t steps = 0; steps <= data.size(); ++steps) {
        const fw::AssembledRecord r = fw::assembleRecord(data, position);
        if (r.fault) {
            require(r.fault->offset <= data.size());
            return false;
        }
        require(r.bytes.data() == data.data() + position);
        const std::size_t cr = position + r.bytes.size();
        require(cr < data.size() && data[cr] == fw::kCR);
        // Past the CR and the byte after it, or the end when the CR is last.
        require(r.next == std::min(cr + 2, data.size()));
        require(std::find(r.bytes.begin(), r.bytes.end(), fw::kCR) == r.bytes.end());
        require(r.endMark ==
                (std::find(r.bytes.begin(), r.bytes.end(), fw::kETB) != r.bytes.end()));
        if (r.endMark)
            return true;
        position = r.next;
    }
    require(false);
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::span<const std::uint8_t> data(bytes, size);
    const fw::ScanResult scan = fw::scanPackage(data);
    const auto length = static_cast<std::int32_t>(size);
    if (scan.fault) {
        require(scan.fault->offset < size);
        return 0;
    }
    const fw::PackageIndex& x = scan.index;
    const bool undamaged = !fw::damageOnEveryWay(data, x);
    require(x.sectionCount <= 1);
    require(x.length == length);
    require(x.sectionStart <= x.length && (x.sectionCount == 1 || x.sectionStart == 0));

    bool wholeWay = false;
    for (std::uint8_t code = 0; code <= 6; ++code) {
        const fw::RangeChoice r = fw::chooseRange(x, code, data);
        if (r.kind != fw::RangeChoice::Kind::Send)
            continue;
        require(r.position >= 0 && r.position <= length);
        require(r.maximum >= 0 && r.maximum <= length);
        const auto start = static_cast<std::size_t>(r.position);
        const bool whole = walkRecords(data, start);
        require(whole == !fw::damageFrom(data, start));
        wholeWay = wholeWay || whole;
    }
    if (x.headerValue >= fw::kNoQueryHeaderValue)
        require(walkRecords(data, 0) == undamaged);
    else
        require(wholeWay || !undamaged);
    return 0;
}
