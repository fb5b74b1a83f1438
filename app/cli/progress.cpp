#include "cli/progress.h"

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

void ProgressDisplay::update(std::int64_t passed)
{
    passed_ = passed;
    draw(false);
}

void ProgressDisplay::recordSent(std::size_t bytes)
{
    ++records_;
    bytes_ += bytes;
    draw(false);
}

void ProgressDisplay::finish()
{
    if (!drawn_ && records_ == 0 && passed_ == 0)
        return; // nothing moved: no line about it
    draw(true);
    if (style_ == Style::Bar && drawn_)
        std::fputc('\n', stream_);
    std::fflush(stream_);
}

void ProgressDisplay::draw(bool force)
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
    const double rate = elapsed > 0 ? static_cast<double>(bytes_) / elapsed : 0.0;
    const std::string left = share > 0 && share < 1 ? duration(elapsed / share - elapsed) : "-";
    char line[160];
    std::snprintf(line, sizeof line, "%zu records, %zu bytes, %3.0f%%, %.1f KiB/s, %s left",
                  records_, bytes_, share * 100, rate / 1024, left.c_str());
    if (style_ == Style::Bar) {
        constexpr int kWidth = 30;
        const int filled = static_cast<int>(share * kWidth);
        std::fprintf(stream_, "\r[%s%s] %s\x1b[K",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kWidth - filled), '.').c_str(), line);
    } else {
        std::fprintf(stream_, "progress: %s\n", line);
    }
    // Nobody reads it any more (a closed pipe or terminal): the download
    // goes on without it.
    if (std::fflush(stream_) != 0 || std::ferror(stream_))
        style_ = Style::None;
}

} // namespace fw
