#pragma once
// A station's printers on a terminal: one row each, redrawn in place, every
// row fitted to the terminal's width as it is at each redraw and the table
// to its height (rows under way first; the others folded into a count).

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace fw {

struct TableRow {
    std::string where;    // as the printer was named: COM3, USB A1234, 10.0.0.5
    std::string identity; // the device, the stable name, the print path
    std::string model;    // the model answer; empty before it came
    bool running = false;
    double share = 0; // of the progress maximum, 0 to 1
    std::size_t records = 0;
    double bytesPerSecond = 0;
    std::string state;  // the outcome, or what the row waits for
    std::string reason; // why it failed: shown as far as the width lets it
};

// One row in at most `columns` characters: the where and the outcome are
// kept whole as far as they fit; the rate, the identity, the bar, the
// counts and the model give way first, and the reason is cut to what is left.
std::string tableLine(const TableRow& row, std::size_t whereWidth, std::size_t identityWidth,
                      int columns);

class StationTable {
public:
    explicit StationTable(std::FILE* stream) : stream_(stream) {}
    // Draws the rows over the last drawing, then `footer` on a line of its own.
    void draw(const std::vector<TableRow>& rows, const std::string& footer);

private:
    std::FILE* stream_;
    int drawn_ = 0; // lines of the last drawing
};

} // namespace fw
