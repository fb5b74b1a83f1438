#pragma once
// Reading from a channel the way the session does: poll the waiting count,
// read when it is not zero.

#include "engine/printer_replies.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace fw::test {

// The bytes that came until there were `n` or `limit` ran out; each poll
// waits up to `slice`. A failing poll or read fails the test.
inline std::vector<std::uint8_t> readUntil(PolledInput& channel, std::size_t n,
                                           std::chrono::milliseconds limit,
                                           std::chrono::milliseconds slice)
{
    std::vector<std::uint8_t> all;
    const auto until = std::chrono::steady_clock::now() + limit;
    while (all.size() < n && std::chrono::steady_clock::now() < until) {
        int count = 0;
        const Result<> s = channel.waitingCount(count, slice);
        EXPECT_TRUE(s.ok()) << s.error();
        if (!s.ok())
            break;
        if (count == 0)
            continue;
        std::vector<std::uint8_t> part;
        EXPECT_TRUE(channel.read(part).ok());
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

} // namespace fw::test
