// The network print path on Windows: the UNC path opened as a file for binary
// writing, its name as UTF-16 so any address the user types reaches the
// system whole. The job is written only when it is handed over; a job given
// up on is closed empty.

#include "channels/network_sink.h"

#include "channels/windows_error_text.h"

#include <windows.h>

namespace fw {

namespace {

class UncFile final : public NetworkSink {
public:
    ~UncFile() override { abandon(); }

    Result open(const std::string& path, const NetworkAddress&) override
    {
        abandon();
        const std::wstring name = wideFromUtf8(path);
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            return Result::failure(windowsErrorText(code));
        }
        handle_ = h;
        return Result::success();
    }

    Result deliver(std::vector<std::uint8_t> job) override
    {
        if (handle_ == INVALID_HANDLE_VALUE)
            return Result::failure("it is not open");
        std::string why;
        std::size_t done = 0;
        while (why.empty() && done < job.size()) {
            const std::size_t chunk =
                job.size() - done > 0x10000000 ? 0x10000000 : job.size() - done;
            DWORD written = 0;
            if (!WriteFile(handle_, job.data() + done, static_cast<DWORD>(chunk), &written,
                           nullptr) ||
                written == 0) {
                const DWORD code = GetLastError();
                why = windowsErrorText(code);
            }
            done += written;
        }
        if (!CloseHandle(handle_) && why.empty()) {
            const DWORD code = GetLastError();
            why = windowsErrorText(code);
        }
        handle_ = INVALID_HANDLE_VALUE;
        return why.empty() ? Result::success() : Result::failure(why);
    }

    void abandon() override
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace

std::unique_ptr<NetworkSink> makeNetworkSink()
{
    return std::make_unique<UncFile>();
}

} // namespace fw
