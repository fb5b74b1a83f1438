// Feeds arbitrary settings files, keys and values through the settings text
// rules and checks what they promise: a key set reads back as set (cut to
// one line, without the blanks or the quotes around it), setting it again
// changes nothing, and every other key reads as before.
//
// Input: one byte of flags (bit 0: CRLF for a new file; bit 1: a section of
// the input's own instead of the program's), then the key, the value and
// that section as FuzzedDataProvider strings (a backslash followed by any
// other byte ends one), then the file's text.

#include "settings/ini_text.h"
#include "settings/settings_store.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void require(bool ok)
{
    if (!ok)
        std::abort();
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// A name the rules can give back: one line, no blanks around it. A key must
// not hold "=" nor read as a section header.
bool usableName(std::string_view name)
{
    return !name.empty() && !isBlank(name.front()) && !isBlank(name.back()) &&
           name.find('\n') == std::string_view::npos;
}

bool usableKey(std::string_view key)
{
    return usableName(key) && key.find('=') == std::string_view::npos && key.front() != '[';
}

// What a lookup gives back for a value written: up to its first line break
// or NUL, without the blanks around it and one pair of matching quotes.
std::string readBack(std::string_view value)
{
    value = value.substr(0, value.find_first_of(std::string_view("\r\n\0", 3)));
    while (!value.empty() && isBlank(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && isBlank(value.back()))
        value.remove_suffix(1);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return std::string(value);
}

constexpr std::string_view kKeys[] = {
    "Interface", "InterfaceSel", "BaudRate", "BitLength", "Parity",
    "StopBit",   "HandShake",    "TcpIp",    "k",         "x"};
constexpr std::string_view kOtherSections[] = {"Other", "PRINTFirmware"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::uint8_t flags = bytes[0];
    FuzzedDataProvider in(bytes + 1, size - 1);
    const std::string key = in.ConsumeRandomLengthString(64);
    const std::string value = in.ConsumeRandomLengthString(300);
    const std::string section =
        (flags & 2) ? in.ConsumeRandomLengthString(64) : std::string(fw::kSettingsSection);
    const std::string text = in.ConsumeRemainingBytesAsString();
    const std::string_view eol = (flags & 1) ? "\r\n" : "\n";

    const std::string after = fw::iniReplace(text, section, key, value, eol);
    const std::string got = fw::iniLookup(after, section, key);
    if (!usableKey(key) || !usableName(section))
        return 0;

    require(got == readBack(value));
    require(fw::iniReplace(after, section, key, value, eol) == after);
    for (const std::string_view other : kKeys) {
        if (!sameName(other, key))
            require(fw::iniLookup(after, section, other) == fw::iniLookup(text, section, other));
    }
    for (const std::string_view otherSection : kOtherSections) {
        if (sameName(otherSection, section))
            continue;
        for (const std::string_view other : kKeys)
            require(fw::iniLookup(after, otherSection, other) ==
                    fw::iniLookup(text, otherSection, other));
    }
    return 0;
}
