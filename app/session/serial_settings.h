#pragma once
// The settings string of a serial port, "9600,N,8,1": baud, parity letter,
// data bits, stop bits.

#include <optional>
#include <string>

namespace fw {

struct SerialSettings {
    int baud = 9600;
    char parity = 'N'; // N, E, O, M or S, as typed
    int dataBits = 8;  // 5 to 8
    int stopTenths = 10; // 10, 15 or 20: one, one and a half, two stop bits
};

// Parses the settings string; on a fault gives nullopt and says why in `why`.
std::optional<SerialSettings> parseSerialSettings(const std::string& text, std::string& why);

} // namespace fw
