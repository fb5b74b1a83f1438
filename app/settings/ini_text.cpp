#include "settings/ini_text.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace fw {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char asciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Names compare without regard to case, ASCII letters only: bytes of the
// 8-bit code page above 127 must match exactly.
bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

struct Line {
    std::size_t begin = 0;      // first byte of the line
    std::size_t contentEnd = 0; // before its CR LF or LF
    std::size_t next = 0;       // first byte of the next line
};

std::vector<Line> splitLines(std::string_view text)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line l;
        l.begin = pos;
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos) {
            l.contentEnd = l.next = text.size();
        } else {
            l.contentEnd = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
            l.next = nl + 1;
        }
        lines.push_back(l);
        pos = l.next;
    }
    return lines;
}

// What one line means to the profile functions.
struct Parsed {
    enum Kind { Blank, Section, Key } kind = Blank;
    std::string_view name; // section or key name, trimmed
    std::string_view value;
    bool hasEquals = false;
};

Parsed parse(std::string_view text, const Line& l)
{
    std::string_view content = text.substr(l.begin, l.contentEnd - l.begin);
    if (l.begin == 0 && content.substr(0, kBom.size()) == kBom)
        content.remove_prefix(kBom.size());
    const std::string_view t = trimmed(content);
    Parsed p;
    if (t.empty())
        return p;
    if (t.front() == '[') {
        const std::size_t close = t.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            p.kind = Parsed::Section;
            p.name = trimmed(t.substr(1, close - 1));
            return p;
        }
    }
    p.kind = Parsed::Key;
    const std::size_t eq = t.find('=');
    p.hasEquals = eq != std::string_view::npos;
    p.name = trimmed(t.substr(0, eq));
    if (p.hasEquals)
        p.value = trimmed(t.substr(eq + 1));
    return p;
}

std::string_view withoutQuotes(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// Index of the first header line of `section`, if any.
std::optional<std::size_t> findSection(std::string_view text, const std::vector<Line>& lines,
                                       std::string_view section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const Parsed p = parse(text, lines[i]);
        if (p.kind == Parsed::Section && sameName(p.name, section))
            return i;
    }
    return std::nullopt;
}

std::string_view lineEndOf(std::string_view text, std::string_view fallback)
{
    const std::size_t nl = text.find('\n');
    if (nl == std::string_view::npos)
        return fallback;
    return (nl > 0 && text[nl - 1] == '\r') ? std::string_view("\r\n") : std::string_view("\n");
}

} // namespace

std::string iniLookup(std::string_view text, std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = splitLines(text);
    const auto header = findSection(text, lines, section);
    if (!header)
        return {};
    for (std::size_t i = *header + 1; i < lines.size(); ++i) {
        const Parsed p = parse(text, lines[i]);
        if (p.kind == Parsed::Section)
            break;
        if (p.kind == Parsed::Key && sameName(p.name, key))
            return std::string(withoutQuotes(p.value));
    }
    return {};
}

std::string iniReplace(std::string_view text, std::string_view section, std::string_view key,
                       std::string_view value, std::string_view newFileEol)
{
    const std::size_t cut = value.find_first_of(std::string_view("\r\n\0", 3));
    if (cut != std::string_view::npos)
        value = value.substr(0, cut);
    const std::string_view eol = lineEndOf(text, newFileEol);
    const std::vector<Line> lines = splitLines(text);

    const auto header = findSection(text, lines, section);
    if (!header) {
        std::string out(text);
        // A file of its byte-order mark alone gets its first line right after it.
        if (!out.empty() && out.back() != '\n' && text != kBom)
            out += eol;
        if (!out.empty() && parse(text, lines.back()).kind != Parsed::Blank)
            out += eol; // a blank line before the new section, as the profile functions write
        out.append("[").append(section).append("]").append(eol);
        out.append(key).append("=").append(value).append(eol);
        return out;
    }

    std::size_t after = *header; // the new key goes after this line
    for (std::size_t i = *header + 1; i < lines.size(); ++i) {
        const Parsed p = parse(text, lines[i]);
        if (p.kind == Parsed::Section)
            break;
        if (p.kind != Parsed::Key)
            continue;
        if (sameName(p.name, key)) {
            // The key keeps the spelling it has in the file.
            std::string out(text.substr(0, lines[i].begin));
            out.append(p.name).append("=").append(value);
            out.append(text.substr(lines[i].contentEnd));
            return out;
        }
        if (p.hasEquals)
            after = i;
    }

    const Line& l = lines[after];
    std::string out(text.substr(0, l.next));
    if (l.next == l.contentEnd) // the last line had no line end of its own
        out += eol;
    out.append(key).append("=").append(value).append(eol);
    out.append(text.substr(l.next));
    return out;
}

} // namespace fw
