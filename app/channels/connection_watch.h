#pragma once
// A TCP connection that a library opened for us, followed from outside it:
// how far the peer has taken what was written, and a reset that ends it at
// once from any thread. The library keeps using its socket; every call here
// first checks that the descriptor still is that socket.

#include <cstdint>
#include <sys/types.h>
#include <vector>

namespace fw {

struct TcpSocket {
    int fd = -1;
    ino_t inode = 0;
    bool operator==(const TcpSocket&) const = default;
};

// The process's TCP sockets connected to a peer on one of `ports`.
std::vector<TcpSocket> tcpConnectionsTo(const std::vector<std::uint16_t>& ports);

struct TcpProgress {
    bool known = false;         // false: not that socket any more, or no answer
    std::uint64_t acked = 0;    // bytes the peer has acknowledged, all told
    std::uint64_t received = 0; // bytes the peer has sent, all told
    std::uint64_t written = 0;  // bytes written into the socket, all told
    std::uint32_t unsent = 0;   // of those, not yet sent even once
};

TcpProgress tcpProgress(const TcpSocket& socket);

// Resets the connection: the peer gets no byte that is still waiting here,
// and drops a request it has not received whole. The library's calls on it
// fail at once.
void resetConnection(const TcpSocket& socket);

// With `on`, any close of the socket, also the system's at the end of the
// process, resets the connection instead of sending what still waits here
// first; without, a close ends it in order again.
void resetOnClose(const TcpSocket& socket, bool on);

} // namespace fw
