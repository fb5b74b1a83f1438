#pragma once
// The station's end of a worker's pipes: the package goes in, and every
// line the worker writes (its JSON events on standard output, what it says
// on standard error) and its end come to one mailbox, in the order they
// came, for the station's one thread to handle.

#include "cli/worker_process.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace fw {

// What a worker's pipes brought, or a USB printer that came or went.
struct News {
    enum class Kind { Line, Said, ErrorsEnded, Ended, UsbChanged };
    std::size_t row = 0;
    Kind kind = Kind::Line;
    std::string text;
    int code = 0;
};

class Mailbox {
public:
    void post(News news);
    // What came, after waiting up to `wait` for anything.
    std::deque<News> take(std::chrono::milliseconds wait);

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<News> news_;
};

// A worker and the two threads that serve its pipes: one hands over the
// package and then reads standard error, the other reads standard output
// and then waits for the end. Destroying it kills the worker where it
// still runs.
class WorkerLink {
public:
    WorkerLink(std::size_t row, std::unique_ptr<WorkerProcess> process,
               const std::vector<std::uint8_t>& package, Mailbox& mailbox);
    ~WorkerLink();
    WorkerLink(const WorkerLink&) = delete;
    WorkerLink& operator=(const WorkerLink&) = delete;

    // One request to end, as Ctrl+C is to `download`; passed on once the
    // package is handed over.
    void stop();
    void kill() { process_->kill(); }

private:
    void feed();
    void listen();
    void readLines(std::size_t (WorkerProcess::*read)(std::span<char>), News::Kind kind);

    std::size_t row_;
    std::unique_ptr<WorkerProcess> process_;
    const std::vector<std::uint8_t>& package_;
    Mailbox& mailbox_;
    std::mutex input_;
    bool fed_ = false;
    int stops_ = 0;
    std::thread feeder_, listener_;
};

} // namespace fw
