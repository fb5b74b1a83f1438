#pragma once
// What a call is expected to print, composed from the library's own lines:
// only the golden table spells their texts out, so a change of wording
// breaks that table alone.

#include "diagnostics.h"

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

namespace fw::usb::test {

// The texts of `lines`, one after another.
template <typename... Lines>
std::string linesOf(const Lines&... lines)
{
    return (std::string() + ... + lines.text());
}

// A device whose instance ID has an accepted prefix, or has none.
inline std::string acceptedLines(const std::string& instanceId)
{
    return instanceIdLine(instanceId.c_str()).text();
}
inline std::string mismatchedLines(const std::string& instanceId)
{
    return linesOf(instanceIdLine(instanceId.c_str()), prefixMismatchLine());
}

// The device path at `index` was found and test-opened, or found in use.
inline std::string foundLines(std::int32_t index, const std::string& path)
{
    return linesOf(openingDeviceLine(path.c_str()), deviceNameLine(index, path.c_str()));
}
inline std::string foundInUseLines(std::int32_t index, const std::string& path)
{
    return linesOf(openingDeviceLine(path.c_str()), deviceOpenFailedLine(path.c_str()),
                   deviceNameLine(index, path.c_str()));
}

// A complete write of `data` that brings the total to `total`.
inline std::string writtenLines(const std::vector<std::uint8_t>& data, std::int32_t total)
{
    return linesOf(writtenLine(static_cast<std::int32_t>(data.size()), total),
                   byteDumpLine(data.data(), data.size()));
}

// A read that received `data`.
inline std::string readLines(const std::vector<std::uint8_t>& data)
{
    return linesOf(readLengthLine(static_cast<std::uint32_t>(data.size())),
                   byteDumpLine(data.data(), data.size()));
}

// An open whose pipe failed with `error`; the open's status is the error's
// low 16 bits.
inline std::string pipeFailedLines(std::uint32_t error)
{
    return linesOf(lastErrorLine(error), openFailedLine(static_cast<Status>(error & 0xFFFFu)));
}

// A write while no pipe is open.
inline std::string writeWithoutPipeLines()
{
    return linesOf(noWritePipeLine(), writeFailedLine(kStatusInvalidHandle));
}

// Whether `lines` are those of a successful open, whatever event handles the
// platform gave: where a line's texts for two handles differ, any digits may stand.
inline bool areOpenedLines(const std::string& lines)
{
    const auto anyHandle = [](const std::string& low, const std::string& high) {
        std::size_t prefix = 0;
        while (prefix < low.size() && prefix < high.size() && low[prefix] == high[prefix])
            ++prefix;
        std::size_t suffix = 0;
        while (suffix < low.size() - prefix && suffix < high.size() - prefix &&
               low[low.size() - 1 - suffix] == high[high.size() - 1 - suffix])
            ++suffix;
        const std::regex special(R"([\\^$.|?*+()\[\]{}])");
        const auto literal = [&](const std::string& text) {
            return std::regex_replace(text, special, R"(\$&)");
        };
        return literal(low.substr(0, prefix)) + "[0-9A-Fa-f]+" +
               literal(low.substr(low.size() - suffix));
    };
    const std::regex opened(anyHandle(readEventLine(0).text(), readEventLine(0xABCDEF).text()) +
                            anyHandle(writeEventLine(0).text(), writeEventLine(0xABCDEF).text()));
    return std::regex_match(lines, opened);
}

} // namespace fw::usb::test
