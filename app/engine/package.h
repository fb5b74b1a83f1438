#pragma once
// The package as the transfer reads it: records from an SOH up to a CR, the
// byte after the CR skipped unseen, the model record "97", the section
// headers "90" and "93", and the end mark ETB.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fw {

inline constexpr std::uint8_t kSOH = 0x01;
inline constexpr std::uint8_t kCR = 0x0D;
inline constexpr std::uint8_t kETB = 0x17;

// Two hexadecimal digits, most significant first, to one byte. Only "0"-"9"
// and upper-case "A"-"F" are digits; anything else counts as 0.
std::uint8_t hexToByte(std::uint8_t high, std::uint8_t low);

// A package whose bytes do not hold the record structure the transfer needs.
// The session ends with a report of it instead of reading past the package.
struct PackageFault {
    enum class Kind {
        ShortHeader, // a section header ends before its value digits
        NoLineEnd,   // a record runs out before its CR
        NoEndMark,   // the records run out without one carrying the ETB
    };
    Kind kind = Kind::NoLineEnd;
    std::size_t offset = 0; // where the faulty record starts, or the package end

    bool operator==(const PackageFault&) const = default;
};

// The failure report shown to the user.
std::string describe(const PackageFault& fault);

struct PackageIndex {
    bool modelRecord = false; // a "97" record came before the scan stopped
    // Value of the section header found. Held without sign so that "93"
    // values of 0x80000000 and above still count as 0x800000 or more.
    std::uint32_t headerValue = 0;
    // 1 when a record follows the section header found: the scan stops at
    // it, and it starts the section the printer is sent; else 0.
    std::uint8_t sectionCount = 0;
    std::int32_t sectionStart = 0;  // that record's offset; 0 without one
    std::int32_t length = 0;        // the package's length
    std::int32_t headerOffset = -1; // where the section header found starts
};

struct ScanResult {
    PackageIndex index;
    std::optional<PackageFault> fault; // a section header cut short
};

// Finds the model record and the first section header. Packages are at most
// INT32_MAX bytes long (the caller makes sure).
ScanResult scanPackage(std::span<const std::uint8_t> data);

// One record as it goes on the wire: every byte from its SOH up to, not
// including, its CR.
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

// The first fault on the way the transfer takes from `start` to the record
// with the end mark.
std::optional<PackageFault> damageFrom(std::span<const std::uint8_t> data, std::size_t start);

} // namespace fw
