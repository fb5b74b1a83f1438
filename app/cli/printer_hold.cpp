#include "cli/printer_hold.h"

#include "cli/sha256.h"

#include <cstdint>
#include <span>

namespace fw {

std::string holdFileName(const std::string& key)
{
    return "hold-" +
           sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(key.data()), key.size()))
               .substr(0, 32);
}

} // namespace fw
