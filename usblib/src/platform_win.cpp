#include "platform_win.h"

#include "system_platform.h"

#include <setupapi.h>

#include <cstddef>
#include <new>
#include <vector>

namespace fw::usb {

namespace {

// The published class of USB printer interfaces, GUID_DEVINTERFACE_USBPRINT.
const GUID kUsbPrintInterface = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const GUID* const kPrinterClass = &kUsbPrintInterface;

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

HANDLE handleOf(Handle pipe)
{
    return reinterpret_cast<HANDLE>(pipe);
}
HANDLE eventOf(Event event)
{
    return reinterpret_cast<HANDLE>(event);
}

class InterfaceList final : public DeviceList {
public:
    InterfaceList(WindowsPlatform& platform, HDEVINFO set) : platform_(platform), set_(set) {}
    ~InterfaceList() override { SetupDiDestroyDeviceInfoList(set_); }

    Member device(int i) override
    {
        device_ = {};
        device_.cbSize = sizeof device_;
        if (i < 0)
            return Member::End;
        if (SetupDiEnumDeviceInfo(set_, static_cast<DWORD>(i), &device_))
            return Member::Found;
        const DWORD error = GetLastError();
        platform_.setLastError(error);
        // A failure that sets no error ends the list as its end does.
        return error == ERROR_NO_MORE_ITEMS || error == 0 ? Member::End : Member::Failed;
    }

    bool instanceId(char* id, std::size_t size) override
    {
        if (!SetupDiGetDeviceInstanceIdA(set_, &device_, id, static_cast<DWORD>(size), nullptr)) {
            platform_.setLastError(GetLastError());
            return false;
        }
        return true;
    }

    bool interfacePath(int i, std::string& path) override
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!SetupDiEnumDeviceInterfaces(set_, nullptr, kPrinterClass, static_cast<DWORD>(i),
                                         &data)) {
            platform_.setLastError(GetLastError());
            return false;
        }
        // First ask only for the size; then read the record into exactly that many bytes.
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set_, &data, nullptr, 0, &needed, nullptr);
        constexpr DWORD header = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (needed < header) {
            platform_.setLastError(GetLastError());
            return false;
        }
        try {
            return readPath(data, needed, path);
        } catch (const std::bad_alloc&) {
            platform_.setLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }

private:
    // The detail record in `needed` bytes, and the device path from it.
    bool readPath(SP_DEVICE_INTERFACE_DATA& data, DWORD needed, std::string& path)
    {
        // Aligned for the record; sized as the platform asked.
        std::vector<std::max_align_t> storage((needed + sizeof(std::max_align_t) - 1) /
                                              sizeof(std::max_align_t));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set_, &data, detail, needed, nullptr, nullptr)) {
            platform_.setLastError(GetLastError());
            return false;
        }
        const char* text = detail->DevicePath;
        const std::size_t room = needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
        std::size_t length = 0;
        while (length < room && text[length] != '\0')
            ++length;
        path.assign(text, length);
        return true;
    }

    WindowsPlatform& platform_;
    HDEVINFO set_;
    SP_DEVINFO_DATA device_{};
};

} // namespace

std::unique_ptr<DeviceList> WindowsPlatform::devices()
{
    HDEVINFO set = SetupDiGetClassDevsA(kPrinterClass, nullptr, nullptr, kPresentInterfaces);
    if (set == INVALID_HANDLE_VALUE) {
        lastError_ = GetLastError();
        return nullptr;
    }
    try {
        return std::make_unique<InterfaceList>(*this, set);
    } catch (const std::bad_alloc&) {
        SetupDiDestroyDeviceInfoList(set);
        lastError_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
}

bool WindowsPlatform::testOpen(const char* path)
{
    HANDLE file =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        lastError_ = GetLastError();
        return false;
    }
    CloseHandle(file);
    return true;
}

Handle WindowsPlatform::openPipe(const char* path, Direction direction)
{
    const bool reading = direction == Direction::Read;
    HANDLE pipe = CreateFileA(path, reading ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE,
                              reading ? FILE_SHARE_READ : FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        lastError_ = GetLastError();
        return kInvalidHandle;
    }
    return reinterpret_cast<Handle>(pipe);
}

void WindowsPlatform::closePipe(Handle pipe)
{
    CloseHandle(handleOf(pipe));
}

Event WindowsPlatform::createEvent()
{
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        lastError_ = GetLastError();
        return kNoEvent;
    }
    return reinterpret_cast<Event>(event);
}

void WindowsPlatform::closeEvent(Event event)
{
    CloseHandle(eventOf(event));
}

Issue WindowsPlatform::startWrite(Handle pipe, Event event, const std::uint8_t* data,
                                  std::uint32_t count, std::uint32_t& moved)
{
    writeOverlap_ = {};
    writeOverlap_.hEvent = eventOf(event);
    DWORD written = 0;
    moved = 0;
    if (WriteFile(handleOf(pipe), data, count, &written, &writeOverlap_)) {
        moved = written;
        return Issue::Done;
    }
    const DWORD error = GetLastError();
    lastError_ = error;
    return error == ERROR_IO_PENDING ? Issue::Pending : Issue::Failed;
}

Collect WindowsPlatform::finishWrite(Handle pipe, std::uint32_t& moved)
{
    DWORD written = 0;
    const BOOL done = GetOverlappedResult(handleOf(pipe), &writeOverlap_, &written, TRUE);
    moved = written;
    if (done)
        return Collect::Done;
    const DWORD error = GetLastError();
    lastError_ = error;
    return error == ERROR_IO_INCOMPLETE ? Collect::Incomplete : Collect::Failed;
}

Issue WindowsPlatform::startRead(Handle pipe, Event event, std::uint8_t* buffer, std::uint32_t size,
                                 std::uint32_t& moved)
{
    readOverlap_ = {};
    readOverlap_.hEvent = eventOf(event);
    DWORD received = 0;
    moved = 0;
    if (ReadFile(handleOf(pipe), buffer, size, &received, &readOverlap_)) {
        moved = received;
        return Issue::Done;
    }
    const DWORD error = GetLastError();
    lastError_ = error;
    return error == ERROR_IO_PENDING ? Issue::Pending : Issue::Failed;
}

Wait WindowsPlatform::waitRead(Handle, Event event, int timeoutMs)
{
    switch (WaitForSingleObject(eventOf(event), static_cast<DWORD>(timeoutMs))) {
    case WAIT_OBJECT_0: return Wait::Signalled;
    case WAIT_TIMEOUT: return Wait::TimedOut;
    default: return Wait::Other;
    }
}

Collect WindowsPlatform::finishRead(Handle pipe, std::uint32_t& moved)
{
    DWORD received = 0;
    const BOOL done = GetOverlappedResult(handleOf(pipe), &readOverlap_, &received, TRUE);
    moved = received;
    if (done)
        return Collect::Done;
    const DWORD error = GetLastError();
    lastError_ = error;
    return error == ERROR_IO_INCOMPLETE ? Collect::Incomplete : Collect::Failed;
}

void WindowsPlatform::discardReceived(Handle pipe, Event event)
{
    const HANDLE h = handleOf(pipe);
    std::uint8_t buffer[256];
    for (std::uint32_t dropped = 0; dropped < kMaxDiscarded;) {
        OVERLAPPED o{};
        o.hEvent = eventOf(event);
        DWORD got = 0;
        if (!ReadFile(h, buffer, sizeof buffer, &got, &o)) {
            if (GetLastError() != ERROR_IO_PENDING)
                return;
            // The read must not outlive this call: cancel it and wait for that.
            if (WaitForSingleObject(o.hEvent, static_cast<DWORD>(kQuietMs)) != WAIT_OBJECT_0)
                CancelIoEx(h, &o);
            if (!GetOverlappedResult(h, &o, &got, TRUE))
                return;
        }
        if (got == 0)
            return;
        dropped += got;
    }
}

// Cancel the read and wait until the driver has let go of the buffer and the
// completion record, so nothing lands in them later. A read that finished
// before the cancel reached it has its bytes in the buffer: they are kept.
Collect WindowsPlatform::withdrawRead(Handle pipe, std::uint32_t& moved)
{
    CancelIoEx(handleOf(pipe), &readOverlap_);
    DWORD received = 0;
    const BOOL done = GetOverlappedResult(handleOf(pipe), &readOverlap_, &received, TRUE);
    moved = done ? received : 0;
    if (done)
        return Collect::Done;
    lastError_ = GetLastError();
    return Collect::Failed;
}

Platform& systemPlatform()
{
    static WindowsPlatform platform;
    return platform;
}

} // namespace fw::usb
