#pragma once
// Another program started with its standard input, output and error on
// pipes of this one: a station's worker for one printer. Reads and writes
// block, so each pipe may be served by a thread of its own; write() and
// kill() may be called while another thread waits in a read or in wait().

#include "base/result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace fw {

class WorkerProcess {
public:
    // Starts the program this process runs again, with `args`, in a process
    // group of its own (Ctrl+C on the terminal reaches only this process)
    // and with no other file of this process open.
    static Result<std::unique_ptr<WorkerProcess>> start(const std::vector<std::string>& args);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // All of `bytes` to its standard input; false once it takes no more.
    bool write(std::span<const std::uint8_t> bytes);
    // One request to end, as Ctrl+C is to `download`; only once all that
    // was meant for its standard input is written.
    void requestEnd();
    // Up to `into.size()` bytes of its standard output, or of its standard
    // error; 0 at the end.
    std::size_t readOutput(std::span<char> into);
    std::size_t readErrors(std::span<char> into);
    // Waits for it to end: its exit code, or 128 + the signal that ended it.
    int wait();
    // Ends it at once.
    void kill();

    struct Handles;

private:
    explicit WorkerProcess(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> h_;
};

// The worker's side of the same pipes.
// Reads all of `into` from standard input; false when it ends first.
bool readFromStation(std::span<std::uint8_t> into);
// From now on the station's requests to end come as Ctrl+C does, and so
// does the end of the station itself: the first one ends the session at its
// next record boundary.
void takeRequestsFromStation();

} // namespace fw
