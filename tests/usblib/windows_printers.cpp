#include "windows_printers.h"

#include <setupapi.h>

#include <algorithm>
#include <stdexcept>

namespace fw::usb::test {

namespace {

const GUID kUsbPrint = {
    0x28d78fad, 0x5a12, 0x11d1, {0xae, 0x5b, 0x00, 0x00, 0xf8, 0x03, 0xa8, 0xc2}};
const char* const kClassKey =
    "System\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

[[noreturn]] void fail(const std::string& what)
{
    throw std::runtime_error(what + " failed with " + std::to_string(GetLastError()));
}

std::string interfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data)
{
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
    std::vector<char> storage(needed + 8);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof *detail;
    if (!SetupDiGetDeviceInterfaceDetailA(set, &data, detail, needed, nullptr, nullptr))
        fail("SetupDiGetDeviceInterfaceDetailA");
    return detail->DevicePath;
}

// Marks the interface as enabled so that a query for present devices lists it.
void link(const std::string& path)
{
    std::string key = path;
    if (key.size() > 4)
        key = "##?#" + key.substr(4); // \\?\ becomes ##?#
    for (char& c : key) {
        if (c == '\\')
            c = '#';
    }
    const std::string control = std::string(kClassKey) + "\\" + key + "\\#\\Control";
    HKEY handle = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, control.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &handle, nullptr) != ERROR_SUCCESS)
        fail("RegCreateKeyExA " + control);
    const DWORD linked = 1;
    RegSetValueExA(handle, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                   sizeof linked);
    RegCloseKey(handle);
}

HANDLE pipe(const std::string& name)
{
    HANDLE handle = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX,
                                     PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                     0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        fail("CreateNamedPipeA " + name);
    return handle;
}

} // namespace

void removeAllPrinters()
{
    HDEVINFO set = SetupDiGetClassDevsA(&kUsbPrint, nullptr, nullptr,
                                        DIGCF_DEVICEINTERFACE | DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i)
        SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kClassKey);
}

std::string registerPrinter(const std::string& instanceId)
{
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kUsbPrint, nullptr);
    if (set == INVALID_HANDLE_VALUE)
        fail("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoA(set, instanceId.c_str(), &kUsbPrint, "test printer", nullptr, 0,
                                  &device))
        fail("SetupDiCreateDeviceInfoA " + instanceId);
    if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr))
        fail("SetupDiRegisterDeviceInfo");
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiCreateDeviceInterfaceA(set, &device, &kUsbPrint, nullptr, 0, &data))
        fail("SetupDiCreateDeviceInterfaceA");
    const std::string path = interfacePath(set, data);
    SetupDiDestroyDeviceInfoList(set);
    link(path);
    return path;
}

PipePrinter::PipePrinter(const std::string& path)
    : toHost_(pipe(path + "\\PIPE01")), fromHost_(pipe(path + "\\PIPE00"))
{}

PipePrinter::~PipePrinter()
{
    unplug();
}

std::vector<std::uint8_t> PipePrinter::receive(std::size_t count, int timeoutMs)
{
    std::vector<std::uint8_t> bytes;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (bytes.size() < count && GetTickCount64() < deadline) {
        DWORD available = 0;
        if (!PeekNamedPipe(fromHost_, nullptr, 0, nullptr, &available, nullptr))
            break;
        if (available == 0) {
            Sleep(5);
            continue;
        }
        std::uint8_t chunk[512];
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(
            std::min<std::size_t>({sizeof chunk, count - bytes.size(), available}));
        if (!ReadFile(fromHost_, chunk, want, &n, nullptr))
            break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void PipePrinter::send(const std::vector<std::uint8_t>& bytes)
{
    DWORD n = 0;
    if (!WriteFile(toHost_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) ||
        n != bytes.size())
        fail("WriteFile to the library");
}

void PipePrinter::unplug()
{
    for (HANDLE* handle : {&toHost_, &fromHost_}) {
        if (*handle != INVALID_HANDLE_VALUE) {
            DisconnectNamedPipe(*handle);
            CloseHandle(*handle);
            *handle = INVALID_HANDLE_VALUE;
        }
    }
}

} // namespace fw::usb::test
