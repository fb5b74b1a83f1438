#pragma once
// What the library's logic needs of the operating system. The shape follows
// the Windows calls (snapshot of printer interfaces, overlapped requests with
// completion events, a last error code); other systems map onto it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace fw::usb {

// An open pipe; kInvalidHandle when not open.
using Handle = std::intptr_t;
inline constexpr Handle kInvalidHandle = -1;

// A completion event; kNoEvent when absent.
using Event = std::uintptr_t;
inline constexpr Event kNoEvent = 0;

enum class Direction { Read, Write };

// What moving to a member of a device list found: the member, the end of
// the list, or a failure that spoils the whole list.
enum class Member { Found, End, Failed };
// Result of issuing a request.
enum class Issue { Done, Pending, Failed };
// Result of collecting a pending request.
enum class Collect { Done, Incomplete, Failed };
// Result of a bounded wait for a pending read.
enum class Wait { Signalled, TimedOut, Other };

// One snapshot of the present printer-class interfaces. Released by its
// destructor.
class DeviceList {
public:
    virtual ~DeviceList() = default;
    // Moves to the device at member position i.
    virtual Member device(int i) = 0;
    // Instance ID of the device last moved to, NUL-terminated in `size` bytes.
    virtual bool instanceId(char* id, std::size_t size) = 0;
    // Device path of the interface at position i; false when there is none or
    // its detail cannot be read.
    virtual bool interfacePath(int i, std::string& path) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // nullptr when the platform refuses the device list.
    virtual std::unique_ptr<DeviceList> devices() = 0;
    // Opens the device path for reading and writing and closes it again.
    virtual bool testOpen(const char* path) = 0;
    // Error code of the last call that failed.
    virtual std::uint32_t lastError() = 0;
    // Error code for a device path too long for the pipe names.
    virtual std::uint32_t nameTooLongError() const = 0;

    virtual Handle openPipe(const char* path, Direction direction) = 0;
    virtual void closePipe(Handle pipe) = 0;
    virtual Event createEvent() = 0;
    virtual void closeEvent(Event event) = 0;

    // At most one write and one read are in flight; the platform keeps their
    // completion records until they are collected or withdrawn.
    virtual Issue startWrite(Handle pipe, Event event, const std::uint8_t* data,
                             std::uint32_t count, std::uint32_t& moved) = 0;
    // Waits until the pending write finishes or fails.
    virtual Collect finishWrite(Handle pipe, std::uint32_t& moved) = 0;

    virtual Issue startRead(Handle pipe, Event event, std::uint8_t* buffer, std::uint32_t size,
                            std::uint32_t& moved) = 0;
    virtual Wait waitRead(Handle pipe, Event event, int timeoutMs) = 0;
    virtual Collect finishRead(Handle pipe, std::uint32_t& moved) = 0;
    // Drops what the device sent before now. Waits only for a printer to
    // answer the read this starts (kQuietMs), so that bytes it still holds
    // from before go too; at most kMaxDiscarded bytes, so a printer that
    // keeps sending cannot hold the open up.
    static constexpr int kQuietMs = 20;
    static constexpr std::uint32_t kMaxDiscarded = 64 * 1024;
    virtual void discardReceived(Handle pipe, Event event) = 0;
    // Withdraws the pending read and waits until it can no longer land.
    // Done, with what it moved, when the read finished before it could be
    // withdrawn; those bytes are in the buffer and must not be thrown away.
    virtual Collect withdrawRead(Handle pipe, std::uint32_t& moved) = 0;
};

} // namespace fw::usb
