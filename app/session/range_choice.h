#pragma once
// Where sending starts and what progress counts towards, from the printer's
// model answer and the package's shape.

#include "session/package_fault.h"
#include "session/package_scan.h"

#include <cstdint>
#include <span>

namespace fw {

struct RangeChoice {
    enum class Kind {
        Send,          // send from `position`; progress maximum `maximum`
        InvalidModel,  // the package does not suit the answering printer
        EarlyEnd,      // the query failed: send nothing
        Damaged,       // `fault`: the first record has no line end (MDL40)
    };
    Kind kind = Kind::Send;
    std::int32_t position = 0;
    std::int32_t maximum = 0;
    PackageFault fault{};
};

RangeChoice chooseRange(const PackageIndex& index, std::uint8_t modelCode,
                        std::span<const std::uint8_t> data);

} // namespace fw
