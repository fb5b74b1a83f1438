#include "session/package_fault.h"

namespace fw {

std::string describe(const PackageFault& fault)
{
    const std::string at = std::to_string(fault.offset);
    switch (fault.kind) {
    case PackageFault::Kind::ShortHeader:
        return "Damaged package: the section header at offset " + at + " is shorter than its fields.";
    case PackageFault::Kind::NoLineEnd:
        return "Damaged package: the record at offset " + at + " ends without its line end.";
    case PackageFault::Kind::NoEndMark:
        return "Damaged package: no end mark before the end of the package at offset " + at + ".";
    }
    return "Damaged package.";
}

} // namespace fw
