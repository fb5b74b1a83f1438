#include "diagnostics.h"

namespace fw::usb {

namespace {

// A failing status shown as the 32-bit value it widens to (0x8010 shows as ffff8010).
unsigned widened(Status status)
{
    return static_cast<unsigned>(static_cast<std::int32_t>(status));
}

} // namespace

void ByteDump::print() const
{
    for (std::size_t i = 0; i < count_; ++i)
        std::printf("[0x%02X]", data_[i]);
    std::printf("\n");
}

std::string ByteDump::text() const
{
    std::string text;
    char item[8];
    for (std::size_t i = 0; i < count_; ++i) {
        std::snprintf(item, sizeof item, "[0x%02X]", data_[i]);
        text += item;
    }
    return text + "\n";
}

Line<> deviceListRefusedLine()
{
    return Line<>("SetupDiGetClassDevs error \n");
}

Line<> instanceIdUnreadableLine()
{
    return Line<>(">>SetupDiGetDeviceInstanceId error<<\n");
}

Line<const char*> instanceIdLine(const char* id)
{
    return Line<const char*>("devid = %s \n", id);
}

Line<> prefixMismatchLine()
{
    return Line<>("Mismatch !!! \n");
}

Line<std::int32_t> deviceCountLine(std::int32_t count)
{
    return Line<std::int32_t>("nCount = %d \n", count);
}

Line<int> deviceCountFailedLine()
{
    return Line<int>("FindUsbDevice() ERR = %d \n", -1);
}

Line<const char*> openingDeviceLine(const char* path)
{
    return Line<const char*>("Attempting to open %s\n", path);
}

Line<const char*> deviceOpenFailedLine(const char* path)
{
    return Line<const char*>("FAILED to open %s\n", path);
}

Line<std::int32_t, const char*> deviceNameLine(std::int32_t index, const char* name)
{
    return Line<std::int32_t, const char*>("usb_device_name(%d) = %s \n", index, name);
}

Line<unsigned> readEventLine(Event event)
{
    return Line<unsigned>("m_osRead.hEvent  = (%x) \n", static_cast<unsigned>(event));
}

Line<unsigned> writeEventLine(Event event)
{
    return Line<unsigned>("m_osWrite.hEvent = (%x) \n", static_cast<unsigned>(event));
}

Line<int> lastErrorLine(std::uint32_t error)
{
    return Line<int>("GetLastError() Err = %d \n", static_cast<int>(error));
}

Line<unsigned> openFailedLine(Status status)
{
    return Line<unsigned>("usb_Open() ERR = 0x%02x \n", widened(status));
}

Line<> noWritePipeLine()
{
    return Line<>("m_hPipeOut Invalid Handle \n");
}

Line<> notInitializedLine()
{
    return Line<>("FC_NOT_INITIALIZED \n");
}

Line<> noWriteEventLine()
{
    return Line<>("FC_DRIVER_ERROR (hEvent = Null) \n");
}

Line<> writeIncompleteLine()
{
    return Line<>("IO ERROR_IO_INCOMPLETE...\n");
}

Line<unsigned> writeFailedLine(Status status)
{
    return Line<unsigned>("-E- Write operation to device failed (Err = 0x%02x) \n",
                          widened(status));
}

Line<> writeShortLine()
{
    return Line<>("-E- Write operation to device failed\n");
}

Line<std::int32_t, std::int32_t> writtenLine(std::int32_t length, std::int32_t total)
{
    return Line<std::int32_t, std::int32_t>("write length = %d (%d) \n", length, total);
}

Line<> receiveTimeoutLine()
{
    return Line<>("receive time over \n");
}

Line<int> readLengthLine(std::uint32_t length)
{
    return Line<int>("read length = %d \n", static_cast<int>(length));
}

ByteDump byteDumpLine(const std::uint8_t* data, std::size_t count)
{
    return ByteDump(data, count);
}

} // namespace fw::usb
