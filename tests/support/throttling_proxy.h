#pragma once
// A TCP relay on 127.0.0.1 in front of a server, for tests: a slow or stuck
// network between the program and its print server. It limits how fast the
// client's bytes reach the server, and holds them, or the server's answers,
// once the client has sent a given number of bytes, until released. When one
// side resets its connection the relay resets the other; an orderly end is
// passed on as one.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <limits>
#include <mutex>
#include <string>
#include <thread>

namespace fw::test {

class ThrottlingProxy {
public:
    // Listens on a port of its own and relays each connection to `targetPort`.
    explicit ThrottlingProxy(int targetPort);
    ~ThrottlingProxy();
    ThrottlingProxy(const ThrottlingProxy&) = delete;
    ThrottlingProxy& operator=(const ThrottlingProxy&) = delete;

    int port() const { return port_; } // 0: it could not listen
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }

    // Client bytes per second passed on; 0: as fast as they come.
    void setRate(std::size_t bytesPerSecond);
    // Passes client bytes on until `uploaded()` reaches `bytes`, then holds.
    void holdUploadAfter(std::size_t bytes);
    // Holds the server's answers once `uploaded()` has reached `bytes`.
    void holdRepliesAfter(std::size_t bytes);
    // Lets everything through again (the rate stays).
    void release();
    // Resets every connection it relays, both ways, as a broken link would;
    // connections made afterwards are relayed again.
    void dropConnections();

    // Client bytes passed on to the server so far, over every connection.
    std::size_t uploaded() const { return uploaded_.load(); }
    // Waits until `uploaded()` reaches `bytes`; false when the time ran out.
    bool waitUploaded(std::size_t bytes, std::chrono::milliseconds limit) const;

private:
    void run();

    static constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
    int target_;
    int port_ = 0;
    int listener_ = -1;
    std::mutex m_;
    std::size_t rate_ = 0;
    std::size_t uploadLimit_ = kNoLimit;
    std::size_t repliesAfter_ = kNoLimit;
    bool drop_ = false;
    std::atomic<std::size_t> uploaded_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace fw::test
