#include "cli/station_table.h"

#include "cli/console.h"

#include <algorithm>

namespace fw {

namespace {

// The first `bytes` bytes of a UTF-8 text, never half a character.
std::string head(const std::string& text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    return text.substr(0, bytes);
}

// `text` in at most `width` bytes, "~" where it is cut.
std::string cut(const std::string& text, std::size_t width)
{
    if (text.size() <= width)
        return text;
    return width < 2 ? head(text, width) : head(text, width - 1) + "~";
}

// The same, filled with blanks to `width`.
std::string fitted(const std::string& text, std::size_t width)
{
    const std::string shown = cut(text, width);
    return shown + std::string(width - shown.size(), ' ');
}

} // namespace

std::string tableLine(const TableRow& row, std::size_t whereWidth, std::size_t identityWidth,
                      int columns)
{
    const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 10));
    char rate[32] = "";
    if (row.bytesPerSecond > 0)
        std::snprintf(rate, sizeof rate, "%.1f KiB/s", row.bytesPerSecond / 1024);
    char share[8];
    std::snprintf(share, sizeof share, "%3.0f%%", row.share * 100);
    const std::string records =
        std::to_string(row.records) + (row.records == 1 ? " record" : " records");

    // What may give way, first to last as the width asks: the rate, the
    // identity, the bar (shrunk first), the record count, the model, the
    // share. The where and the outcome stay.
    struct Part {
        std::string text;
        int yields; // lower gives way first; -1 never
    };
    std::size_t bar = 20;
    std::vector<Part> parts = {{fitted(row.where, whereWidth), -1},
                               {identityWidth ? fitted(row.identity, identityWidth) : "", 1},
                               {fitted(row.model.empty() ? "-" : row.model, 8), 4},
                               {"", 2}, // the bar, drawn below
                               {share, 5},
                               {rate, 0},
                               {records, 3},
                               {row.state, -1}};
    const auto length = [&] {
        std::size_t n = 0;
        for (const Part& p : parts)
            if (!p.text.empty())
                n += p.text.size() + 2;
        return n;
    };
    const auto drawBar = [&] {
        const std::size_t filled =
            static_cast<std::size_t>(std::clamp(row.share, 0.0, 1.0) * static_cast<double>(bar));
        parts[3].text = "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "]";
    };
    drawBar();
    for (int yields = 0; yields <= 5 && length() > room + 2; ++yields) {
        if (yields == 2)
            while (bar > 10 && length() > room + 2) {
                --bar;
                drawBar();
            }
        for (Part& p : parts)
            if (p.yields == yields && length() > room + 2)
                p.text.clear();
    }
    std::string line;
    for (const Part& p : parts)
        if (!p.text.empty())
            line += (line.empty() ? "" : "  ") + p.text;
    if (!row.reason.empty() && line.size() + 4 < room)
        line += " (" + cut(row.reason, room - line.size() - 3) + ")";
    return head(line, room);
}

void StationTable::draw(const std::vector<TableRow>& rows, const std::string& footer)
{
    const int columns = terminalColumns(stream_);
    const int height = terminalRows(stream_);
    // Rows under way first, then the latest that ended; what does not fit
    // is counted on the footer's line.
    std::vector<const TableRow*> shown;
    for (const TableRow& r : rows)
        if (r.running)
            shown.push_back(&r);
    for (auto r = rows.rbegin(); r != rows.rend(); ++r)
        if (!r->running)
            shown.push_back(&*r);
    const std::size_t fit = static_cast<std::size_t>(std::max(height - 2, 1));
    std::string last = footer;
    if (shown.size() > fit) {
        last = std::to_string(shown.size() - fit) + " more ended; " + footer;
        shown.resize(fit);
    }
    // In the order the printers came.
    std::sort(shown.begin(), shown.end(),
              [](const TableRow* a, const TableRow* b) { return a < b; });

    std::size_t whereWidth = 4, identityWidth = 0;
    for (const TableRow* r : shown) {
        whereWidth = std::max(whereWidth, std::min<std::size_t>(r->where.size(), 24));
        identityWidth = std::max(identityWidth, std::min<std::size_t>(r->identity.size(), 32));
    }

    std::string text;
    if (drawn_ > 0)
        text += "\x1b[" + std::to_string(drawn_) + "A";
    for (const TableRow* r : shown)
        text += "\r" + tableLine(*r, whereWidth, identityWidth, columns) + "\x1b[K\n";
    std::string footerLine = last;
    if (columns > 1)
        footerLine = head(footerLine, static_cast<std::size_t>(columns - 1));
    text += "\r" + footerLine + "\x1b[K\n";
    // Lines of a taller drawing before are cleared.
    for (int extra = static_cast<int>(shown.size()) + 1; extra < drawn_; ++extra)
        text += "\x1b[K\n";
    const int lines = std::max(static_cast<int>(shown.size()) + 1, drawn_);
    if (lines > static_cast<int>(shown.size()) + 1)
        text += "\x1b[" + std::to_string(lines - static_cast<int>(shown.size()) - 1) + "A";
    std::fputs(text.c_str(), stream_);
    std::fflush(stream_);
    drawn_ = static_cast<int>(shown.size()) + 1;
}

} // namespace fw
