#include "session/printer_model.h"

#include "session/protocol_bytes.h"

#include <string_view>
#include <vector>

namespace fw {

namespace {

constexpr std::size_t kAnswerLength = 5;

std::uint8_t failed(SessionHost& host, const ChannelStatus& status)
{
    host.report(failureText(status));
    return kModelQueryFailed;
}

std::uint8_t querySerial(DownloadChannel& ch, Clock& clock, SessionHost& host)
{
    std::vector<std::uint8_t> reply;
    if (const ChannelStatus s = ch.write(kModelQuery); !s.ok())
        return failed(host, s);
    const Clock::duration deadline = clock.now() + kModelAnswerWait;
    for (;;) {
        int waiting = 0;
        if (const ChannelStatus s = ch.waitingCount(waiting, kPollSlice); !s.ok())
            return failed(host, s);
        if (waiting != 0) {
            std::vector<std::uint8_t> got;
            if (const ChannelStatus s = ch.read(got); !s.ok())
                return failed(host, s);
            reply.insert(reply.end(), got.begin(), got.end());
            if (reply.size() == kAnswerLength) {
                const std::uint8_t code = modelCodeOf(reply);
                if (code != kModelUnknown)
                    return code;
            } else if (reply.size() > kAnswerLength) {
                return kModelUnknown;
            }
        }
        if (clock.now() > deadline)
            return kModelUnknown;
    }
}

std::uint8_t queryUsb(DownloadChannel& ch, SessionHost& host)
{
    if (const ChannelStatus s = ch.write(kModelQuery); s.failed())
        return failed(host, s);
    std::vector<std::uint8_t> reply;
    if (const ChannelStatus s = ch.read(reply); s.failed())
        return failed(host, s);
    // The answer must come whole in the one read.
    return modelCodeOf(reply);
}

std::uint8_t queryNetwork(DownloadChannel& ch, Clock& clock, SessionHost& host)
{
    if (const ChannelStatus s = ch.write(kModelQuery); !s.ok())
        return failed(host, s);
    // Nothing comes back on a print path; the printer gets its second.
    clock.sleep(kModelAnswerWait);
    return kModelK20T;
}

} // namespace

std::uint8_t modelCodeOf(std::span<const std::uint8_t> reply)
{
    const std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
    if (text == "MDL40")
        return kModelMDL40;
    if (text == "TV-K3")
        return kModelTVK3;
    if (text == "K20_T")
        return kModelK20T;
    return kModelUnknown;
}

std::uint8_t GetPrinterModel(DownloadChannel& channel, Clock& clock, SessionHost& host)
{
    switch (channel.kind()) {
    case ChannelKind::Serial:
        return querySerial(channel, clock, host);
    case ChannelKind::Usb:
        return queryUsb(channel, host);
    case ChannelKind::Network:
        return queryNetwork(channel, clock, host);
    }
    return kModelUnknown;
}

} // namespace fw
