#pragma once
// Progress of a download on standard error: a bar redrawn in place on a
// terminal, a plain line every few seconds otherwise, nothing when quiet.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace fw {

class ProgressDisplay {
public:
    enum class Style { None, Bar, Lines };
    ProgressDisplay(std::FILE* stream, Style style) : stream_(stream), style_(style) {}

    void setMaximum(double maximum) { maximum_ = maximum; }
    // The package bytes passed; shown with the next record's line.
    void update(std::int64_t passed) { passed_ = passed; }
    void recordSent(std::size_t bytes);
    // Without a time left: a rate that says nothing of the printer (a
    // network job goes to a buffer first).
    void omitTimeLeft() { timeLeft_ = false; }
    // Shows the last values and ends the bar's line; with the outcome last
    // when given, and no time left.
    void finish(const std::string& outcome = {});

private:
    void draw(bool force, const std::string& outcome = {});

    std::FILE* stream_;
    Style style_;
    double maximum_ = 0;
    std::int64_t passed_ = 0;
    std::size_t records_ = 0;
    std::size_t bytes_ = 0;
    bool drawn_ = false;
    bool timeLeft_ = true;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_{};
};

} // namespace fw
