#include "cli/station_table.h"

#include "cli/console.h"

#include <algorithm>

namespace fw {

namespace {

std::string fitted(const std::string& text, std::size_t width)
{
    if (text.size() <= width)
        return text + std::string(width - text.size(), ' ');
    if (width < 2)
        return std::string(width, ' ');
    return text.substr(0, width - 1) + "~";
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
    const std::string model = row.model.empty() ? "-" : row.model;
    const std::string state = row.running && row.state.empty() ? "" : row.state;

    // What must be there, then what may go as the width asks.
    const std::string head = fitted(row.where, whereWidth) + "  ";
    const std::string tail = std::string(share) + "  " + std::to_string(row.records) +
                             (row.records == 1 ? " record" : " records") +
                             (state.empty() ? "" : "  " + state);
    std::size_t identity = identityWidth;
    std::size_t bar = 20;
    bool withRate = rate[0] != '\0';
    const auto length = [&] {
        return head.size() + (identity ? identity + 2 : 0) + fitted(model, 8).size() + 2 +
               (bar ? bar + 3 : 0) + tail.size() + (withRate ? std::string(rate).size() + 2 : 0);
    };
    while (length() > room && identity > 8)
        --identity;
    if (length() > room)
        withRate = false;
    while (length() > room && bar > 10)
        --bar;
    if (length() > room)
        bar = 0;
    if (length() > room)
        identity = 0;

    std::string line = head;
    if (identity)
        line += fitted(row.identity, identity) + "  ";
    line += fitted(model, 8) + "  ";
    if (bar) {
        const std::size_t filled =
            static_cast<std::size_t>(std::clamp(row.share, 0.0, 1.0) * static_cast<double>(bar));
        line += "[" + std::string(filled, '#') + std::string(bar - filled, '.') + "] ";
    }
    line += std::string(share) + "  ";
    if (withRate)
        line += std::string(rate) + "  ";
    line += std::to_string(row.records) + (row.records == 1 ? " record" : " records");
    if (!state.empty())
        line += "  " + state;
    if (line.size() > room)
        line.resize(room);
    return line;
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
    if (columns > 1 && footerLine.size() > static_cast<std::size_t>(columns - 1))
        footerLine.resize(static_cast<std::size_t>(columns - 1));
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
