#pragma once
// The diagnostic lines of the library, each made by one function here. Their
// bytes are part of the library's interface: the logic writes them only
// through these functions, and tests compose what they expect from the same
// texts, so a line's wording lives in one place.

#include "connection.h"
#include "platform.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <tuple>

namespace fw::usb {

// A line: its printf format and the values it shows. print() writes it to
// the C standard output with printf and allocates nothing (a transfer
// allocates no memory); text() gives the same bytes. A line without values
// is its format's text: those formats hold no conversion.
template <typename... Values>
class Line {
public:
    explicit constexpr Line(const char* format, Values... values)
        : format_(format), values_(values...)
    {}

    void print() const
    {
        if constexpr (sizeof...(Values) == 0)
            std::fputs(format_, stdout);
        else
            std::apply([this](auto... values) { std::printf(format_, values...); }, values_);
    }

    std::string text() const
    {
        if constexpr (sizeof...(Values) == 0) {
            return format_;
        } else {
            return std::apply(
                [this](auto... values) {
                    const int length = std::snprintf(nullptr, 0, format_, values...);
                    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
                    std::snprintf(text.data(), text.size() + 1, format_, values...);
                    return text;
                },
                values_);
        }
    }

private:
    const char* format_;
    std::tuple<Values...> values_;
};

// The bytes of a transfer as one line, an item per byte.
class ByteDump {
public:
    ByteDump(const std::uint8_t* data, std::size_t count) : data_(data), count_(count) {}

    void print() const;
    std::string text() const;

private:
    const std::uint8_t* data_;
    std::size_t count_;
};

// usb_find_devices
Line<> deviceListRefusedLine();
Line<> instanceIdUnreadableLine();
Line<const char*> instanceIdLine(const char* id);
Line<> prefixMismatchLine();
Line<std::int32_t> deviceCountLine(std::int32_t count);
Line<int> deviceCountFailedLine();

// usb_device_name
Line<const char*> openingDeviceLine(const char* path);
Line<const char*> deviceOpenFailedLine(const char* path);
Line<std::int32_t, const char*> deviceNameLine(std::int32_t index, const char* name);

// usb_open
Line<unsigned> readEventLine(Event event);
Line<unsigned> writeEventLine(Event event);
Line<int> lastErrorLine(std::uint32_t error);
Line<unsigned> openFailedLine(Status status);

// usb_write
Line<> noWritePipeLine();
Line<> notInitializedLine();
Line<> noWriteEventLine();
Line<> writeIncompleteLine();
Line<unsigned> writeFailedLine(Status status);
Line<> writeShortLine();
Line<std::int32_t, std::int32_t> writtenLine(std::int32_t length, std::int32_t total);

// usb_read
Line<> receiveTimeoutLine();
Line<int> readLengthLine(std::uint32_t length);

// After the write and read length lines.
ByteDump byteDumpLine(const std::uint8_t* data, std::size_t count);

} // namespace fw::usb
