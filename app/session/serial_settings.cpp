#include "session/serial_settings.h"

#include <charconv>
#include <string_view>
#include <vector>

namespace fw {

namespace {

bool wholeNumber(std::string_view s, int& out) {
    if (s.empty()) return false;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

} // namespace

std::optional<SerialSettings> parseSerialSettings(const std::string& text, std::string& why) {
    std::vector<std::string_view> parts;
    std::string_view rest = text;
    for (;;) {
        const auto comma = rest.find(',');
        parts.push_back(rest.substr(0, comma));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
    }
    const std::string quoted = "\"" + text + "\"";
    if (parts.size() != 4) {
        why = "The serial settings " + quoted + " are not baud,parity,data bits,stop bits.";
        return std::nullopt;
    }
    SerialSettings s;
    if (!wholeNumber(parts[0], s.baud) || s.baud <= 0) {
        why = "The baud rate in the serial settings " + quoted + " is not a positive number.";
        return std::nullopt;
    }
    if (parts[1].size() != 1 || std::string_view("NEOMS").find(parts[1][0]) == std::string_view::npos) {
        why = "The parity in the serial settings " + quoted + " is not one of N, E, O, M, S.";
        return std::nullopt;
    }
    s.parity = parts[1][0];
    if (!wholeNumber(parts[2], s.dataBits) || s.dataBits < 5 || s.dataBits > 8) {
        why = "The data bits in the serial settings " + quoted + " are not 5 to 8.";
        return std::nullopt;
    }
    if (parts[3] == "1") s.stopTenths = 10;
    else if (parts[3] == "1.5") s.stopTenths = 15;
    else if (parts[3] == "2") s.stopTenths = 20;
    else {
        why = "The stop bits in the serial settings " + quoted + " are not 1, 1.5 or 2.";
        return std::nullopt;
    }
    return s;
}

} // namespace fw
