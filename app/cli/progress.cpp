#include "cli/progress.h"

#include "cli/console.h"

#include <algorithm>
#include <string>

namespace fw {

namespace {

std::string duration(double seconds)
{
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

} // namespace

void ProgressDisplay::recordSent(std::size_t bytes)
{
    ++records_;
    bytes_ += bytes;
    draw(false);
}

void ProgressDisplay::finish(const std::string& outcome)
{
    if (!drawn_ && records_ == 0 && passed_ == 0)
        return; // nothing moved: no line about it
    draw(true, outcome);
    if (style_ == Style::Bar && drawn_)
        std::fputc('\n', stream_);
    std::fflush(stream_);
    drawn_ = false; // the next line starts afresh
    records_ = 0;
    passed_ = 0;
}

void ProgressDisplay::draw(bool force, const std::string& outcome)
{
    if (style_ == Style::None)
        return;
    const auto now = std::chrono::steady_clock::now();
    const auto every =
        style_ == Style::Bar ? std::chrono::milliseconds(100) : std::chrono::milliseconds(2000);
    if (!force && drawn_ && now - last_ < every)
        return;
    last_ = now;
    drawn_ = true;

    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double share =
        maximum_ > 0 ? std::clamp(static_cast<double>(passed_) / maximum_, 0.0, 1.0) : 0.0;
    std::string line = std::to_string(records_) + (records_ == 1 ? " record, " : " records, ") +
                       std::to_string(bytes_) + " bytes";
    char part[64];
    std::snprintf(part, sizeof part, ", %.0f%%", share * 100);
    line += part;
    // A rate and a time left only once a second has told them.
    // The last line has room for the outcome instead.
    if (elapsed >= 1.0 && bytes_ > 0 && outcome.empty()) {
        std::snprintf(part, sizeof part, ", %.1f KiB/s",
                      static_cast<double>(bytes_) / elapsed / 1024);
        line += part;
        if (timeLeft_ && share > 0 && share < 1)
            line += ", " + duration(elapsed / share - elapsed) + " left";
    }
    if (!outcome.empty())
        line += ": " + outcome;
    if (style_ == Style::Bar) {
        // The bar takes what the terminal's width leaves, 10 to 30 columns,
        // and none on a terminal too narrow for it; the line never wraps.
        const int columns = terminalColumns(stream_);
        const int room = columns - 1 - static_cast<int>(line.size()) - 3;
        const int width = std::min(room, 30);
        std::string shown = line;
        if (width >= 10) {
            const int filled = static_cast<int>(share * width);
            shown = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(width - filled), '.') + "] " + line;
        }
        if (columns > 1 && static_cast<int>(shown.size()) > columns - 1)
            shown.resize(static_cast<std::size_t>(columns - 1));
        std::fprintf(stream_, "\r%s\x1b[K", shown.c_str());
    } else {
        std::fprintf(stream_, "progress: %s\n", line.c_str());
    }
    // Nobody reads it any more (a closed pipe or terminal): the download
    // goes on without it.
    if (std::fflush(stream_) != 0 || std::ferror(stream_))
        style_ = Style::None;
}

} // namespace fw
