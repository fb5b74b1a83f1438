#pragma once
// The package scan: finds the model record and the first section header.

#include "session/package_fault.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace fw {

struct PackageIndex {
    bool modelRecord = false;      // a "97" record came before the scan stopped
    // Value of the section header found. Held without sign so that "93"
    // values of 0x80000000 and above still count as 0x800000 or more.
    std::uint32_t headerValue = 0;
    bool headerOpen = false;
    std::uint8_t sectionCount = 0; // 0 or 1: the scan stops after the first section
    std::array<std::int32_t, 4> sectionStarts{};
    std::array<std::int32_t, 4> sectionEnds{};
};

struct ScanResult {
    PackageIndex index;
    std::optional<PackageFault> fault; // a section header cut short
};

// Packages are at most INT32_MAX bytes long (the caller makes sure).
ScanResult scanPackage(std::span<const std::uint8_t> data);

} // namespace fw
