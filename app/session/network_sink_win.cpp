// The network print path on Windows: the UNC path opened as a file for binary
// writing, written in sequence.

#include "session/network_sink.h"

#include "session/windows_error_text.h"

#include <windows.h>

namespace fw {

namespace {

class UncFile final : public NetworkSink {
public:
    ~UncFile() override { close(); }

    std::string open(const std::string& path, const NetworkAddress&) override {
        close();
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            return windowsErrorText(code);
        }
        handle_ = h;
        return {};
    }

    std::string write(std::span<const std::uint8_t> bytes) override {
        if (handle_ == INVALID_HANDLE_VALUE) return "it is not open";
        std::size_t done = 0;
        while (done < bytes.size()) {
            const std::size_t chunk = bytes.size() - done > 0x10000000 ? 0x10000000 : bytes.size() - done;
            DWORD written = 0;
            if (!WriteFile(handle_, bytes.data() + done, static_cast<DWORD>(chunk), &written, nullptr) ||
                written == 0) {
                const DWORD code = GetLastError();
                return windowsErrorText(code);
            }
            done += written;
        }
        return {};
    }

    std::string close() override {
        if (handle_ == INVALID_HANDLE_VALUE) return {};
        std::string why;
        if (!CloseHandle(handle_)) {
            const DWORD code = GetLastError();
            why = windowsErrorText(code);
        }
        handle_ = INVALID_HANDLE_VALUE;
        return why;
    }

    bool isOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

} // namespace

std::unique_ptr<NetworkSink> makeNetworkSink() { return std::make_unique<UncFile>(); }

} // namespace fw
