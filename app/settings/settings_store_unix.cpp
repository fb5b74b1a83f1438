// The settings file where there are no profile functions: read and rewritten
// whole by the profile (INI) text rules.

#include "settings/settings_store.h"

#include "settings/ini_text.h"
#include "settings/settings_file.h"

#include <new>
#include <string_view>

namespace fw {

namespace {

// How the file holds its text, told by its byte-order mark as the profile
// functions tell it: UTF-16 in either byte order, or else bytes as they are
// (the 8-bit code page, or UTF-8 with or without its mark).
enum class Encoding { Bytes, Utf16Le, Utf16Be };

// The file's text as the rules read it (UTF-8 for a UTF-16 file, its mark
// included as EF BB BF, which the rules pass over), and the odd last byte a
// damaged UTF-16 file may end with, kept aside so that it is not lost.
struct FileText {
    Encoding encoding = Encoding::Bytes;
    std::string text;
    std::string tail;
};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One character of UTF-8 text at `i`, and its length. A surrogate's own three
// bytes count as that unit, so that one left alone in a UTF-16 file comes
// back; anything else that is no UTF-8 reads as U+FFFD, one byte long.
std::size_t nextUtf8(std::string_view s, std::size_t i, char32_t& c)
{
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t n = lead < 0x80   ? 1
                          : lead < 0xC0 ? 0
                          : lead < 0xE0 ? 2
                          : lead < 0xF0 ? 3
                          : lead < 0xF8 ? 4
                                        : 0;
    static constexpr char32_t kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    c = lead & kLeadBits[n];
    bool valid = n > 0 && i + n <= s.size();
    for (std::size_t k = 1; valid && k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        valid = (b & 0xC0) == 0x80;
        c = (c << 6) | (b & 0x3F);
    }
    if (!valid || c < kLeast[n] || c > 0x10FFFF) {
        c = 0xFFFD;
        return 1;
    }
    return n;
}

FileText fileText(const std::string& bytes)
{
    FileText t;
    const bool little = bytes.starts_with("\xFF\xFE");
    if (!little && !bytes.starts_with("\xFE\xFF")) {
        t.text = bytes;
        return t;
    }
    t.encoding = little ? Encoding::Utf16Le : Encoding::Utf16Be;
    const std::size_t units = bytes.size() / 2;
    t.tail = bytes.substr(units * 2);
    const auto unit = [&](std::size_t i) -> char32_t {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        return little ? (second << 8 | first) : (first << 8 | second);
    };
    for (std::size_t i = 0; i < units; ++i) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
            const char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        appendUtf8(t.text, c);
    }
    return t;
}

// `text` in the file's own encoding.
std::string fileBytes(const FileText& file, std::string_view text)
{
    if (file.encoding == Encoding::Bytes)
        return std::string(text);
    std::string out;
    const auto put = [&](char32_t u) {
        const auto high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += file.encoding == Encoding::Utf16Le ? low : high;
        out += file.encoding == Encoding::Utf16Le ? high : low;
    };
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        i += nextUtf8(text, i, c);
        if (c >= 0x10000) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c);
        }
    }
    return out + file.tail;
}

// The first `max` characters of a value: bytes of an 8-bit file, UTF-16
// units of a UTF-16 one (a pair that does not fit whole is left out).
std::string firstCharacters(const FileText& file, std::string value, std::size_t max)
{
    if (file.encoding == Encoding::Bytes) {
        if (value.size() > max)
            value.resize(max);
        return value;
    }
    std::size_t end = 0;
    for (std::size_t units = 0; end < value.size();) {
        char32_t c = 0;
        const std::size_t n = nextUtf8(value, end, c);
        units += c >= 0x10000 ? 2 : 1;
        if (units > max)
            break;
        end += n;
    }
    value.resize(end);
    return value;
}

} // namespace

std::string settingsFilePath(const std::string& programDir)
{
    return programDir + "/" + kSettingsFileName;
}

std::string readSetting(const std::string& filePath, const std::string& key)
{
    try {
        const FileText file = fileText(readSettingsFile(filePath).bytes);
        std::string value = iniLookup(file.text, kSettingsSection, key);
        // The profile functions hand values over as C strings: a NUL in a
        // damaged file ends the value there.
        const auto nul = value.find('\0');
        if (nul != std::string::npos)
            value.resize(nul);
        return firstCharacters(file, std::move(value), kIniValueMax);
    } catch (const std::bad_alloc&) {
        // Out of memory on a damaged file: the key counts as missing.
        return {};
    }
}

Result<> writeSetting(const std::string& filePath, const std::string& key, const std::string& value)
{
    try {
        const SettingsFileRead read = readSettingsFile(filePath);
        // Rewriting from a part would lose the rest.
        if (read.exists && !read.complete)
            return Result<>::failure("The settings file " + filePath +
                                     " cannot be read whole, so it is not rewritten.");
        const FileText file = fileText(read.bytes);
        return replaceSettingsFile(
            filePath,
            fileBytes(file, iniReplace(file.text, kSettingsSection, key, value, nativeLineEnd())));
    } catch (const std::bad_alloc&) {
        return Result<>::failure("Not enough memory to write the settings file " + filePath + ".");
    }
}

} // namespace fw
