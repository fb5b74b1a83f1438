#pragma once
// SHA-256 of a package, for the record a repair bench or factory line keeps.

#include <cstdint>
#include <span>
#include <string>

namespace fw {

// Lower-case hexadecimal, 64 characters.
std::string sha256Hex(std::span<const std::uint8_t> data);

} // namespace fw
