// The network print path on Windows: the UNC path opened as a file for binary
// writing, its name as UTF-16 so any address the user types reaches the
// system whole. The job is written only when it is handed over; a job given
// up on is closed empty. The system's redirector takes the job at whatever
// speed the network allows and gives up on a server only by its own time:
// the hand-over waits for it, lets the window run meanwhile, and cannot be
// stopped once the first byte is written.

#include "channels/network_sink.h"

#include "base/windows_error_text.h"

#include <windows.h>

#include <chrono>
#include <future>
#include <utility>

namespace fw {

namespace {

class UncFile final : public NetworkSink {
public:
    ~UncFile() override { abandon(); }

    Result<> open(const std::string& path, const NetworkAddress&) override
    {
        abandon();
        const std::wstring name = wideFromUtf8(path);
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            return Result<>::failure(windowsErrorText(code));
        }
        handle_ = h;
        return Result<>::success();
    }

    Result<> deliver(std::vector<std::uint8_t> job, HandOverWatch& watch) override
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            return Result<>::failure("it is not open");
        if (watch.stopRequested()) {
            abandon();
            return Result<>::refusal();
        }
        // The redirector may pass the job on in pieces, each of which a
        // close would print: from the first byte on, no stop.
        watch.tooLateToStop();
        const HANDLE h = std::exchange(handle_, INVALID_HANDLE_VALUE);
        auto written = std::async(std::launch::async,
                                  [h, job = std::move(job)] { return writeAndClose(h, job); });
        while (written.wait_for(kLook) != std::future_status::ready)
            (void)watch.stopRequested(); // lets the window run meanwhile
        return written.get();
    }

    void abandon() override
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

private:
    static constexpr std::chrono::milliseconds kLook{50};

    static Result<> writeAndClose(HANDLE h, const std::vector<std::uint8_t>& job)
    {
        std::string why;
        std::size_t done = 0;
        while (why.empty() && done < job.size()) {
            const std::size_t chunk =
                job.size() - done > 0x10000000 ? 0x10000000 : job.size() - done;
            DWORD written = 0;
            if (!WriteFile(h, job.data() + done, static_cast<DWORD>(chunk), &written, nullptr) ||
                written == 0) {
                const DWORD code = GetLastError();
                why = windowsErrorText(code) +
                      "; the printer may print the part of the job the print server took";
            }
            done += written;
        }
        if (!CloseHandle(h) && why.empty()) {
            const DWORD code = GetLastError();
            why = windowsErrorText(code) + "; the printer may still print the job";
        }
        return why.empty() ? Result<>::success() : Result<>::failure(why);
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace

std::unique_ptr<NetworkSink> makeNetworkSink(std::chrono::milliseconds)
{
    return std::make_unique<UncFile>();
}

} // namespace fw
