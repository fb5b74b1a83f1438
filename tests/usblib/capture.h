#pragma once
// Runs a call while standard output is captured; gives back what it printed.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace fw::usb::test {

template <typename Call>
std::string printedBy(Call&& call)
{
    testing::internal::CaptureStdout();
    call();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

} // namespace fw::usb::test
