#pragma once
// One record of the package as it goes on the wire: every byte from its SOH
// up to, not including, its CR. The CR and the byte after it are skipped.

#include "session/package_fault.h"

#include <cstdint>
#include <optional>
#include <span>

namespace fw {

struct AssembledRecord {
    std::span<const std::uint8_t> bytes; // inside the package
    std::size_t next = 0;                // just past the CR and the byte after it
    bool endMark = false;                // the record carries the ETB
    std::optional<PackageFault> fault;   // the package ran out first
};

AssembledRecord assembleRecord(std::span<const std::uint8_t> data, std::size_t position);

} // namespace fw
