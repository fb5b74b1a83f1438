#pragma once
// One record of the package as it goes on the wire: every byte from its SOH
// up to, not including, its CR. The CR and the byte after it are skipped.

#include "session/package_fault.h"
#include "session/package_scan.h"

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

// Where the next record starts after the CR at `cr`: past the CR and the
// byte after it, or the package's end when the CR is its last byte.
std::size_t afterLineEnd(std::span<const std::uint8_t> data, std::size_t cr);

// The first fault on any way the transfer could take through the package,
// from each possible start to the record with the end mark. Found before
// the printer is reached, so a damaged package sends nothing at all.
std::optional<PackageFault> findDamage(std::span<const std::uint8_t> data, const PackageIndex& index);

} // namespace fw
