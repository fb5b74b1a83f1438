#include "channels/connection_watch.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <dirent.h>
#include <linux/sockios.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace fw {

namespace {

bool isStill(const TcpSocket& s)
{
    struct stat st {};
    return s.fd >= 0 && ::fstat(s.fd, &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == s.inode;
}

} // namespace

std::vector<TcpSocket> tcpConnectionsTo(const std::vector<std::uint16_t>& ports)
{
    std::vector<TcpSocket> out;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return out;
    const int own = ::dirfd(dir);
    while (const dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0' || fd == own)
            continue;
        struct stat st {};
        int protocol = 0;
        socklen_t len = sizeof protocol;
        sockaddr_storage peer{};
        socklen_t peerLen = sizeof peer;
        if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode) ||
            ::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PROTOCOL, &protocol, &len) != 0 ||
            protocol != IPPROTO_TCP ||
            ::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &peerLen) != 0)
            continue;
        std::uint16_t port = 0;
        if (peer.ss_family == AF_INET)
            port = ntohs(reinterpret_cast<const sockaddr_in&>(peer).sin_port);
        else if (peer.ss_family == AF_INET6)
            port = ntohs(reinterpret_cast<const sockaddr_in6&>(peer).sin6_port);
        if (std::find(ports.begin(), ports.end(), port) != ports.end())
            out.push_back({static_cast<int>(fd), st.st_ino});
    }
    ::closedir(dir);
    return out;
}

TcpProgress tcpProgress(const TcpSocket& s)
{
    TcpProgress p;
    tcp_info info{};
    socklen_t len = sizeof info;
    int queued = 0;
    if (!isStill(s) || ::getsockopt(s.fd, IPPROTO_TCP, TCP_INFO, &info, &len) != 0 ||
        len < offsetof(tcp_info, tcpi_notsent_bytes) + sizeof info.tcpi_notsent_bytes ||
        ::ioctl(s.fd, SIOCOUTQ, &queued) != 0 || queued < 0)
        return p;
    p.known = true;
    p.acked = info.tcpi_bytes_acked;
    p.received = info.tcpi_bytes_received;
    p.written = info.tcpi_bytes_acked + static_cast<std::uint64_t>(queued);
    p.unsent = info.tcpi_notsent_bytes;
    return p;
}

void resetOnClose(const TcpSocket& s, bool on)
{
    if (!isStill(s))
        return;
    // Lingering for no time makes any end a reset.
    const linger how{on ? 1 : 0, 0};
    ::setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &how, sizeof how);
}

void resetConnection(const TcpSocket& s)
{
    if (!isStill(s))
        return;
    // Disconnecting, unlike a close, leaves the descriptor to the library.
    resetOnClose(s, true);
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    const int saved = errno;
    ::connect(s.fd, &unspecified, sizeof unspecified);
    errno = saved;
}

} // namespace fw
