#include "channels/serial_port_names.h"

#include "base/wide_text.h"

#include <windows.h>

#include <setupapi.h>

#include <cwctype>
#include <vector>

namespace fw {

namespace {

// The device setup class of serial and parallel ports.
const GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool sameName(std::wstring a, std::wstring b)
{
    for (auto* s : {&a, &b})
        for (wchar_t& c : *s)
            c = static_cast<wchar_t>(std::towupper(c));
    return a == b;
}

// The "COMn" the device's own settings give it.
std::wstring portNameOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[64] = {};
    DWORD type = 0;
    DWORD size = sizeof name - sizeof(wchar_t);
    const bool ok = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                     reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS &&
                    type == REG_SZ;
    RegCloseKey(key);
    return ok ? std::wstring(name) : std::wstring();
}

std::string textProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property)
{
    DWORD type = 0;
    DWORD size = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                           reinterpret_cast<BYTE*>(text.data()), size, nullptr) ||
        type != REG_SZ)
        return {};
    return utf8FromWide(text.data());
}

// A USB device's instance is USB\VID_v&PID_p\<serial number>; the system
// makes up one with '&' in it for a device that has none.
std::string serialNumberOf(HDEVINFO set, SP_DEVINFO_DATA& device)
{
    constexpr DWORD kIdLength = 200; // the system's longest instance name
    wchar_t id[kIdLength + 1] = {};
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id, kIdLength, nullptr))
        return {};
    const std::wstring instance = id;
    if (!sameName(instance.substr(0, 4), L"USB\\"))
        return {};
    const auto last = instance.rfind(L'\\');
    const std::wstring serial = instance.substr(last + 1);
    if (last <= 4 || serial.empty() || serial.find(L'&') != std::wstring::npos)
        return {};
    return utf8FromWide(serial);
}

} // namespace

// Port n is COMn when the system has a device of that name; the name does not
// move when another port goes away.
PortChoice findSerialPort(int portNumber, const std::string&)
{
    if (portNumber < 1)
        return {};
    const std::string name = "COM" + std::to_string(portNumber);
    wchar_t target[1024];
    if (QueryDosDeviceW(wideFromUtf8(name).c_str(), target, 1024) == 0 &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return {};
    return {name, PortSource::SystemName, {}};
}

// Windows has no links folder.
std::vector<PortLink> listPortLinks(const std::string&)
{
    return {};
}

// What the port's device entry says: its description, maker and, for a USB
// adapter, its serial number.
SerialPortDetails describeSerialPort(const std::string& device)
{
    SerialPortDetails d;
    HDEVINFO set = SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return d;
    const std::wstring wanted = wideFromUtf8(device);
    SP_DEVINFO_DATA entry{};
    entry.cbSize = sizeof entry;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &entry); ++i) {
        if (!sameName(portNameOf(set, entry), wanted))
            continue;
        d.description = textProperty(set, entry, SPDRP_DEVICEDESC);
        d.manufacturer = textProperty(set, entry, SPDRP_MFG);
        d.serialNumber = serialNumberOf(set, entry);
        break;
    }
    SetupDiDestroyDeviceInfoList(set);
    return d;
}

} // namespace fw
