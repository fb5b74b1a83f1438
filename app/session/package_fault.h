#pragma once
// A package whose bytes do not hold the record structure the transfer needs.
// The session ends with a report of it instead of reading past the package.

#include <cstddef>
#include <string>

namespace fw {

struct PackageFault {
    enum class Kind {
        ShortHeader,     // a section header ends before its value digits
        NoLineEnd,       // a record runs out before its CR and the byte after it
        NoEndMark,       // the records run out without one carrying the ETB
    };
    Kind kind = Kind::NoLineEnd;
    std::size_t offset = 0; // where the faulty record starts, or the package end

    bool operator==(const PackageFault&) const = default;
};

// The failure report shown to the user.
std::string describe(const PackageFault& fault);

} // namespace fw
