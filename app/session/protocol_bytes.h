#pragma once
// The fixed bytes and times of the printer download protocol.

#include <array>
#include <chrono>
#include <cstdint>

namespace fw {

inline constexpr std::uint8_t kSOH = 0x01;
inline constexpr std::uint8_t kCR = 0x0D;
inline constexpr std::uint8_t kETB = 0x17;
inline constexpr std::uint8_t kACK = 0x06;

// The model query: SOH "97" STX "011" ETX "6E".
inline constexpr std::array<std::uint8_t, 10> kModelQuery = {
    0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};

// Section-header values from here on mean "send the whole package, no query".
inline constexpr std::uint32_t kNoQueryHeaderValue = 0x800000;

inline constexpr std::chrono::seconds kModelAnswerWait{1};
inline constexpr std::chrono::seconds kAckWait{5};
inline constexpr std::chrono::milliseconds kUsbRecordPause{100};
// How long one serial poll may block inside the channel for a byte to come.
inline constexpr std::chrono::milliseconds kPollSlice{2};

// Model codes given by the model query.
enum ModelCode : std::uint8_t {
    kModelNoQuery = 0,
    kModelQueryFailed = 1,
    kModelMDL40 = 2,
    kModelTVK3 = 3,
    kModelK20T = 4,
    kModelUnknown = 5,
};

} // namespace fw
