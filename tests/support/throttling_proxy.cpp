#include "throttling_proxy.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace fw::test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Small buffers on the client's side, so a hold soon stops the client too.
constexpr int kClientBuffer = 16 * 1024;
constexpr std::size_t kChunk = 16 * 1024;

void nonBlocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

void resetAndClose(int fd)
{
    const linger none{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &none, sizeof none);
    ::close(fd);
}

// One relayed connection: bytes read from one side wait here for the other.
struct Pair {
    int client = -1;
    int server = -1;
    std::vector<char> up, down;
    bool clientDone = false, serverDone = false; // that side ended in order
    bool upShut = false, downShut = false;       // the end was passed on
    bool broken = false;

    ~Pair()
    {
        if (client >= 0)
            broken ? resetAndClose(client) : (void)::close(client);
        if (server >= 0)
            broken ? resetAndClose(server) : (void)::close(server);
    }
    bool finished() const { return broken || (upShut && downShut); }
};

// Reads up to `most` bytes from `fd` into `into`: false when the side is
// gone, `ended` when it ended in order.
bool readInto(int fd, std::vector<char>& into, std::size_t most, bool& ended)
{
    if (most == 0)
        return true;
    char buf[kChunk];
    const ssize_t n = ::recv(fd, buf, std::min(most, sizeof buf), 0);
    if (n > 0)
        into.insert(into.end(), buf, buf + n);
    else if (n == 0)
        ended = true;
    else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        return false;
    return true;
}

// Writes what `from` holds to `fd`; gives the count, or -1 when the side is gone.
ssize_t writeFrom(int fd, std::vector<char>& from)
{
    if (from.empty())
        return 0;
    const ssize_t n = ::send(fd, from.data(), from.size(), MSG_NOSIGNAL);
    if (n > 0) {
        from.erase(from.begin(), from.begin() + n);
        return n;
    }
    return n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR ? -1 : 0;
}

} // namespace

ThrottlingProxy::ThrottlingProxy(int targetPort) : target_(targetPort)
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0)
        return;
    ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &kClientBuffer, sizeof kClientBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(listener_);
        listener_ = -1;
        return;
    }
    nonBlocking(listener_);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
}

ThrottlingProxy::~ThrottlingProxy()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listener_ >= 0)
        ::close(listener_);
}

void ThrottlingProxy::setRate(std::size_t bytesPerSecond)
{
    const std::lock_guard lock(m_);
    rate_ = bytesPerSecond;
}

void ThrottlingProxy::holdUploadAfter(std::size_t bytes)
{
    const std::lock_guard lock(m_);
    uploadLimit_ = bytes;
}

void ThrottlingProxy::holdRepliesAfter(std::size_t bytes)
{
    const std::lock_guard lock(m_);
    repliesAfter_ = bytes;
}

void ThrottlingProxy::release()
{
    const std::lock_guard lock(m_);
    uploadLimit_ = kNoLimit;
    repliesAfter_ = kNoLimit;
}

void ThrottlingProxy::dropConnections()
{
    {
        const std::lock_guard lock(m_);
        drop_ = true;
    }
    // Done before any connection that comes after.
    for (;;) {
        {
            const std::lock_guard lock(m_);
            if (!drop_)
                return;
        }
        std::this_thread::sleep_for(1ms);
    }
}

bool ThrottlingProxy::waitUploaded(std::size_t bytes, std::chrono::milliseconds limit) const
{
    for (const auto until = Clock::now() + limit; uploaded() < bytes;) {
        if (Clock::now() >= until)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

void ThrottlingProxy::run()
{
    std::vector<std::unique_ptr<Pair>> pairs;
    double tokens = 0;
    auto last = Clock::now();
    while (!stop_) {
        std::size_t rate, uploadLimit, repliesAfter;
        bool dropping = false;
        {
            const std::lock_guard lock(m_);
            rate = rate_;
            uploadLimit = uploadLimit_;
            repliesAfter = repliesAfter_;
            dropping = drop_;
        }
        if (dropping) {
            for (const auto& p : pairs)
                p->broken = true;
            pairs.clear(); // each is reset as it goes
            const std::lock_guard lock(m_);
            drop_ = false;
        }
        const auto now = Clock::now();
        // A tenth of a second's worth at most, so a rate is kept from the start.
        tokens = std::min(tokens + std::chrono::duration<double>(now - last).count() *
                                       static_cast<double>(rate),
                          std::max(static_cast<double>(rate) / 10, 1.0));
        last = now;

        const std::size_t sentSoFar = uploaded_.load();
        std::size_t allowed = uploadLimit > sentSoFar ? uploadLimit - sentSoFar : 0;
        if (rate)
            allowed = std::min(allowed, static_cast<std::size_t>(tokens));
        const bool holdReplies = sentSoFar >= repliesAfter;

        // Each side is watched for bytes only while they could be passed on;
        // a reset shows either way.
        std::vector<pollfd> fds{{listener_, POLLIN, 0}};
        for (const auto& p : pairs) {
            const bool takeUp = allowed > 0 && p->up.empty() && !p->clientDone;
            const bool takeDown = !holdReplies && p->down.empty() && !p->serverDone;
            fds.push_back(
                {p->client,
                 static_cast<short>((takeUp ? POLLIN : 0) | (p->down.empty() ? 0 : POLLOUT)), 0});
            fds.push_back(
                {p->server,
                 static_cast<short>((takeDown ? POLLIN : 0) | (p->up.empty() ? 0 : POLLOUT)), 0});
        }
        ::poll(fds.data(), fds.size(), 5);

        for (std::size_t i = 0; i < pairs.size(); ++i) {
            Pair& p = *pairs[i];
            if ((fds[1 + 2 * i].revents | fds[2 + 2 * i].revents) & POLLERR)
                p.broken = true;
            if (p.broken)
                continue;
            // Client to server, within the hold and the rate.
            if (fds[1 + 2 * i].events & POLLIN && !readInto(p.client, p.up, allowed, p.clientDone))
                p.broken = true;
            const ssize_t up = p.broken ? 0 : writeFrom(p.server, p.up);
            if (up < 0)
                p.broken = true;
            if (up > 0) {
                uploaded_ += static_cast<std::size_t>(up);
                allowed -= std::min(allowed, static_cast<std::size_t>(up));
                if (rate)
                    tokens -= static_cast<double>(up);
            }
            if (!p.broken && p.clientDone && p.up.empty() && !p.upShut) {
                ::shutdown(p.server, SHUT_WR);
                p.upShut = true;
            }
            // Server to client, unless the answers are held.
            if (!p.broken && fds[2 + 2 * i].events & POLLIN &&
                !readInto(p.server, p.down, kChunk, p.serverDone))
                p.broken = true;
            if (!p.broken && writeFrom(p.client, p.down) < 0)
                p.broken = true;
            if (!p.broken && p.serverDone && p.down.empty() && !p.downShut) {
                ::shutdown(p.client, SHUT_WR);
                p.downShut = true;
            }
        }

        if (fds[0].revents & POLLIN) {
            const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (c >= 0) {
                auto p = std::make_unique<Pair>();
                p->client = c;
                p->server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_port = htons(static_cast<std::uint16_t>(target_));
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                if (p->server < 0 ||
                    ::connect(p->server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                    p->broken = true;
                else
                    nonBlocking(p->server);
                pairs.push_back(std::move(p));
            }
        }
        std::erase_if(pairs, [](const auto& p) { return p->finished(); });
    }
}

} // namespace fw::test
