#include "choice/stored_interface.h"

#include "choice/list_entries.h"
#include "settings/settings_store.h"

#include <span>

namespace fw {

namespace {

// The text of the entry start-up would select in `entries`.
std::string restored(std::span<const char* const> entries, const std::string& stored)
{
    return entries[static_cast<std::size_t>(
        listEntryFor(stored, static_cast<int>(entries.size())))];
}

} // namespace

StoredInterface readStoredInterface(const std::string& settingsPath, int usbPrinters)
{
    StoredInterface s;
    const std::string interface = readSetting(settingsPath, kKeyInterface);
    const std::string selected = readSetting(settingsPath, kKeyInterfaceSel);
    const bool usbListed = usbPrinters >= 1 && usbPrinters <= kMaxListedPrinters;

    s.settings.portNumber = 1;
    if (interface == "1" || (interface == "2" && !usbListed)) {
        // Without listed printers start-up applies a stored USB choice to the port list.
        s.kind = ChannelKind::Serial;
        s.usbWanted = interface == "2";
        s.settings.portNumber =
            listEntryFor(selected, static_cast<int>(std::size(kPortEntries))) + 1;
    } else if (interface == "2") {
        s.kind = ChannelKind::Usb;
        s.usbPosition = listEntryFor(selected, usbPrinters);
    } else if (interface == "3") {
        s.kind = ChannelKind::Network;
    }
    s.settings.line =
        serialLineFromTexts(restored(kBaudRateEntries, readSetting(settingsPath, kKeyBaudRate)),
                            restored(kParityEntries, readSetting(settingsPath, kKeyParity)),
                            restored(kBitLengthEntries, readSetting(settingsPath, kKeyBitLength)),
                            restored(kStopBitEntries, readSetting(settingsPath, kKeyStopBit)));
    s.settings.networkAddress = readSetting(settingsPath, kKeyTcpIp);
    if (s.settings.networkAddress.empty())
        s.settings.networkAddress = kDefaultIpAddress;
    return s;
}

} // namespace fw
