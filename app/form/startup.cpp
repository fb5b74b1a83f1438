#include "form/startup.h"

#include "settings/settings_store.h"
#include "form/select_list_entry.h"

#include <string>
#include <utility>

namespace fw {

namespace {

void fill(Toolkit& ui, Ctl list, std::span<const char* const> entries)
{
    ui.clearList(list);
    for (const char* e : entries)
        ui.addItem(list, e);
}

void fillAndRestore(Toolkit& ui, Ctl list, std::span<const char* const> entries,
                    const std::string& path, const char* key)
{
    fill(ui, list, entries);
    selectListEntry(ui, list, readSetting(path, key));
}

void showFrames(Toolkit& ui, bool serial, bool usb, bool ethernet)
{
    ui.setVisible(Ctl::FrameSerial, serial);
    ui.setVisible(Ctl::FrameUSB, usb);
    ui.setVisible(Ctl::FrameEthernet, ethernet);
}

} // namespace

void startUp(Toolkit& ui, FormState& state, UsbLibrary& usb, const std::string& settingsFolder)
{
    fill(ui, Ctl::cboPORT, kPortEntries);
    const char* const noUsb[] = {kNoUsbEntry};
    fill(ui, Ctl::CboUSB, noUsb);

    // A library that cannot be loaded is a failed search.
    const std::int32_t n = usb.findDevices().valueOr(-1);
    state.usbPrintersListed = false;

    if (n >= 1 && n <= kMaxListedPrinters) {
        ui.clearList(Ctl::CboUSB);
        for (int k = 1; k <= n; ++k)
            ui.addItem(Ctl::CboUSB, usbEntryName(k));
        state.usbPrintersListed = true;
        ui.setEnabled(Ctl::CboUSB, true);
        ui.setListIndex(Ctl::CboUSB, 0);
    } else {
        ui.setEnabled(Ctl::OptUSB, false);
    }

    const std::string path = settingsFilePath(settingsFolder);
    const std::string interface = readSetting(path, kKeyInterface);
    const std::string interfaceSel = readSetting(path, kKeyInterfaceSel);

    if (interface == "1") {
        selectListEntry(ui, Ctl::cboPORT, interfaceSel);
        ui.select(Ctl::OptSerial);
        showFrames(ui, true, false, false);
        ui.setListIndex(Ctl::CboUSB, 0);
    } else if (interface == "2" && state.usbPrintersListed) {
        selectListEntry(ui, Ctl::CboUSB, interfaceSel);
        ui.select(Ctl::OptUSB);
        showFrames(ui, false, true, false);
        ui.setListIndex(Ctl::cboPORT, 0);
    } else if (interface == "2") {
        if (n == 0)
            ui.messageBox(kMsgNoUsbDevice, true, kNoUsbDeviceTitle);
        // The stored USB position goes to the port list, as it always has.
        selectListEntry(ui, Ctl::cboPORT, interfaceSel);
        ui.select(Ctl::OptSerial);
        showFrames(ui, true, false, false);
    } else if (interface == "3") {
        ui.select(Ctl::OptEthernet);
        showFrames(ui, false, false, true);
        ui.setListIndex(Ctl::cboPORT, 0);
        ui.setListIndex(Ctl::CboUSB, 0);
    }

    fillAndRestore(ui, Ctl::cboBaudRate, kBaudRateEntries, path, kKeyBaudRate);
    fillAndRestore(ui, Ctl::cboBitLength, kBitLengthEntries, path, kKeyBitLength);
    fillAndRestore(ui, Ctl::cboParity, kParityEntries, path, kKeyParity);
    fillAndRestore(ui, Ctl::cboStopBit, kStopBitEntries, path, kKeyStopBit);
    fillAndRestore(ui, Ctl::cboHandShake, kHandShakeEntries, path, kKeyHandShake);

    std::string address = readSetting(path, kKeyTcpIp);
    if (address.empty())
        address = kDefaultIpAddress;
    ui.setText(Ctl::TextEthernet, address);
}

Result<> storeSettings(Toolkit& ui, const std::string& settingsFolder)
{
    const std::string path = settingsFilePath(settingsFolder);
    Result<> first = Result<>::success();
    const auto write = [&](const char* key, const std::string& value) {
        if (Result<> r = writeSetting(path, key, value); r.failed() && first.ok())
            first = std::move(r);
    };
    if (ui.isSelected(Ctl::OptSerial)) {
        write(kKeyInterface, "1");
        write(kKeyInterfaceSel, std::to_string(ui.listIndex(Ctl::cboPORT)));
    } else if (ui.isSelected(Ctl::OptUSB)) {
        write(kKeyInterface, "2");
        write(kKeyInterfaceSel, std::to_string(ui.listIndex(Ctl::CboUSB)));
    } else if (ui.isSelected(Ctl::OptEthernet)) {
        write(kKeyInterface, "3");
    }
    for (const auto& [list, key] :
         {std::pair{Ctl::cboBaudRate, kKeyBaudRate}, std::pair{Ctl::cboBitLength, kKeyBitLength},
          std::pair{Ctl::cboParity, kKeyParity}, std::pair{Ctl::cboStopBit, kKeyStopBit},
          std::pair{Ctl::cboHandShake, kKeyHandShake}})
        write(key, std::to_string(ui.listIndex(list)));
    const std::string address = ui.text(Ctl::TextEthernet);
    if (!address.empty())
        write(kKeyTcpIp, address);
    return first;
}

} // namespace fw
