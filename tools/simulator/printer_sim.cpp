#include "printer_sim.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace fw::sim {

namespace {
constexpr std::uint8_t kCr = 0x0D;
using Clock = std::chrono::steady_clock;
} // namespace

const std::vector<std::uint8_t>& modelQuery()
{
    static const std::vector<std::uint8_t> query{0x01, 0x39, 0x37, 0x02, 0x30,
                                                 0x31, 0x31, 0x03, 0x36, 0x45};
    return query;
}

std::vector<std::vector<std::uint8_t>> splitPackage(const std::vector<std::uint8_t>& package)
{
    std::vector<std::vector<std::uint8_t>> out;
    std::size_t i = 0;
    while (i < package.size()) {
        if (package[i] != kSoh) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < package.size() && package[end] != kCr)
            ++end;
        out.emplace_back(package.begin() + static_cast<std::ptrdiff_t>(i),
                         package.begin() + static_cast<std::ptrdiff_t>(end));
        i = end + 2; // the CR and the byte after it
    }
    return out;
}

PrinterSimulator::PrinterSimulator(int fd, PrinterScript script)
    : fd_(fd), script_(std::move(script))
{
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        wake_[0] = wake_[1] = -1;
    if (!script_.packageRecords.empty())
        indexPackage(script_.packageRecords);
    for (const auto& package : script_.knownPackages)
        indexPackage(package);
    std::sort(lengths_.begin(), lengths_.end(), std::greater<>());
    lengths_.erase(std::unique(lengths_.begin(), lengths_.end()), lengths_.end());
    const auto& query = modelQuery();
    const auto at = known_.lower_bound(query);
    queryIsRecord_ = at != known_.end() && at->first.size() >= query.size() &&
                     std::equal(query.begin(), query.end(), at->first.begin());
}

void PrinterSimulator::indexPackage(const std::vector<Bytes>& records)
{
    const std::size_t package = packages_.size();
    auto& sequence = packages_.emplace_back();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto it = known_.try_emplace(records[i]).first;
        it->second.push_back({package, i});
        sequence.push_back(&it->first);
        lengths_.push_back(records[i].size());
    }
}

PrinterSimulator::~PrinterSimulator()
{
    for (int f : wake_)
        if (f >= 0)
            ::close(f);
}

void PrinterSimulator::stop()
{
    stopping_.store(true);
    if (wake_[1] >= 0) {
        const char c = 'x';
        [[maybe_unused]] auto r = ::write(wake_[1], &c, 1);
    }
}

std::vector<std::uint8_t> PrinterSimulator::received() const
{
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::vector<std::uint8_t>> PrinterSimulator::records() const
{
    std::lock_guard lock(mutex_);
    return records_;
}

int PrinterSimulator::queries() const
{
    std::lock_guard lock(mutex_);
    return queries_;
}

std::vector<std::chrono::nanoseconds> PrinterSimulator::ackToNextRecord() const
{
    std::lock_guard lock(mutex_);
    return ackTimes_;
}

std::string PrinterSimulator::lastError() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

bool PrinterSimulator::pause(std::chrono::milliseconds d)
{
    const auto until = Clock::now() + d;
    while (!stopping_.load()) {
        // Rounded up: a pause never ends before its time.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0)
            return true;
        pollfd p{wake_[0], POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return false;
}

// A piece sent before the host has read the one before it could join it in
// one read on a slow host. A pseudo-terminal's other end tells how much is
// still unread; it is opened only for the look, so that the host's hang-up
// still shows here. Other descriptors are taken as read at once.
bool PrinterSimulator::awaitTaken()
{
    char name[128];
    if (::ptsname_r(fd_, name, sizeof name) != 0)
        return !stopping_.load();
    const int host = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (host < 0)
        return !stopping_.load();
    const auto until = Clock::now() + std::chrono::seconds(10);
    int unread = 0;
    while (::ioctl(host, FIONREAD, &unread) == 0 && unread > 0 && Clock::now() < until)
        if (!pause(std::chrono::milliseconds(1)))
            break;
    ::close(host);
    return !stopping_.load();
}

bool PrinterSimulator::sendAll(const std::uint8_t* data, std::size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd_, data, n);
        if (w > 0) {
            data += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            if (stopping_.load())
                return false;
        } else {
            return false;
        }
    }
    return true;
}

void PrinterSimulator::hangUp()
{
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, fd_);
        ::close(null);
    }
    hungUp_.store(true);
}

void PrinterSimulator::answerQuery()
{
    int asked = 0;
    {
        std::lock_guard lock(mutex_);
        asked = queries_++;
    }
    const auto inTurn = static_cast<std::size_t>(asked);
    if (inTurn >= script_.answersInTurn.size() && !script_.answer)
        return;
    const std::string& text =
        inTurn < script_.answersInTurn.size() ? script_.answersInTurn[inTurn] : *script_.answer;
    std::size_t at = 0;
    for (std::size_t piece : script_.answerPieces) {
        if (at >= text.size())
            break;
        const std::size_t n = std::min(piece, text.size() - at);
        if (!sendAll(reinterpret_cast<const std::uint8_t*>(text.data()) + at, n))
            return;
        at += n;
        if (at < text.size() && !awaitTaken())
            return;
        if (!pause(script_.pieceGap))
            return;
    }
    if (at < text.size())
        sendAll(reinterpret_cast<const std::uint8_t*>(text.data()) + at, text.size() - at);
}

void PrinterSimulator::acknowledge(int number)
{
    if (number == script_.noAckRecord)
        return;
    if (script_.ackDelay.count() > 0 && !pause(script_.ackDelay))
        return;
    if (number == script_.lateAckRecord && !pause(script_.lateAck))
        return;
    if (number == script_.nakRecord) {
        sendAll(&kNak, 1);
        return;
    }
    if (number == script_.strayRecord) {
        const std::uint8_t two[2] = {kAck, '?'};
        sendAll(two, 2);
        return;
    }
    sendAll(&kAck, 1);
    if (script_.timeAcks) {
        lastAck_ = Clock::now();
        ackWritten_ = true;
    }
}

void PrinterSimulator::completeRecord(std::size_t length)
{
    std::vector<std::uint8_t> record(pending_.begin(),
                                     pending_.begin() + static_cast<std::ptrdiff_t>(length));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
    int number = 0;
    {
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
        number = static_cast<int>(records_.size());
    }
    if (number == script_.hangUpRecord) {
        hangUp();
        return;
    }
    acknowledge(number);
}

bool PrinterSimulator::expected(const Bytes* record) const
{
    for (const Position& e : expected_)
        if (packages_[e.package][e.index] == record)
            return true;
    return false;
}

// A record that occurs in many places says little about the next one.
void PrinterSimulator::expectAfter(Known record)
{
    constexpr std::size_t kMostPlaces = 64;
    expected_.clear();
    if (record->second.size() > kMostPlaces)
        return;
    for (const Position& at : record->second)
        if (at.index + 1 < packages_[at.package].size())
            expected_.push_back({at.package, at.index + 1});
}

PrinterSimulator::Match PrinterSimulator::matchKnown(bool quiet, std::size_t& length)
{
    const Bytes& p = pending_;
    const auto startsWithP = [&p](const Bytes& r) {
        return r.size() > p.size() && std::equal(p.begin(), p.end(), r.begin());
    };
    // Known records sort next to each other by their bytes: an exact match,
    // then those it begins.
    const auto at = known_.lower_bound(p);
    const bool exact = at != known_.end() && at->first == p;
    const auto next = exact ? std::next(at) : at;
    const bool longer = next != known_.end() && startsWithP(next->first);
    if (exact) {
        // A record that another one begins with is taken at once only where
        // the package order says it comes next.
        if (longer && !quiet && !expected(&at->first))
            return Match::Wait;
        length = p.size();
        expectAfter(at);
        return Match::Complete;
    }
    if (longer)
        return quiet ? Match::Unknown : Match::Wait;

    // More than one record pending (a printer that was not waited for): the
    // expected one first, else the longest known one.
    const auto begins = [&p](const Bytes& r) {
        return r.size() < p.size() && std::equal(r.begin(), r.end(), p.begin());
    };
    for (const Position& e : expected_) {
        const Bytes* r = packages_[e.package][e.index];
        if (begins(*r)) {
            length = r->size();
            expectAfter(known_.find(*r));
            return Match::Complete;
        }
    }
    for (std::size_t n : lengths_) {
        if (n >= p.size())
            continue;
        const auto found =
            known_.find(Bytes(p.begin(), p.begin() + static_cast<std::ptrdiff_t>(n)));
        if (found != known_.end()) {
            length = n;
            expectAfter(found);
            return Match::Complete;
        }
    }
    return Match::Unknown;
}

// Splits pending bytes into model queries and records. `quiet` is set when no
// byte has come for the quiet gap: whatever is pending then counts as
// complete. A model query starts a new session at any record boundary, so
// one printer serves downloads one after another.
void PrinterSimulator::frame(bool quiet)
{
    const auto& query = modelQuery();
    while (!hungUp_.load() && !stopping_.load()) {
        const auto soh = std::find(pending_.begin(), pending_.end(), kSoh);
        pending_.erase(pending_.begin(), soh); // noise between messages
        if (pending_.empty())
            return;

        if (!queryIsRecord_ && pending_.size() >= query.size() &&
            std::equal(query.begin(), query.end(), pending_.begin())) {
            pending_.erase(pending_.begin(),
                           pending_.begin() + static_cast<std::ptrdiff_t>(query.size()));
            expected_.clear();
            answerQuery();
            continue;
        }

        std::size_t length = 0;
        const Match match = known_.empty() ? Match::Unknown : matchKnown(quiet, length);
        if (match == Match::Complete) {
            completeRecord(length);
            continue;
        }
        if (match == Match::Unknown && quiet) {
            expected_.clear();
            completeRecord(pending_.size());
        }
        return;
    }
}

void PrinterSimulator::onBytes(const std::uint8_t* data, std::size_t n)
{
    const auto now = Clock::now();
    {
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), data, data + n);
        if (ackWritten_ && pending_.empty()) {
            ackTimes_.push_back(now - lastAck_);
        }
    }
    ackWritten_ = false;
    pending_.insert(pending_.end(), data, data + n);
    lastByte_ = now;
    frame(false);
}

void PrinterSimulator::run()
{
    if (!script_.leftInLine.empty())
        sendAll(script_.leftInLine.data(), script_.leftInLine.size());
    std::uint8_t buffer[4096];
    while (!stopping_.load() && !hungUp_.load()) {
        int timeout = -1;
        if (!pending_.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                lastByte_ + script_.quietGap - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()) + 1);
        }
        pollfd p[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        const int r = ::poll(p, 2, timeout);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::lock_guard lock(mutex_);
            error_ = std::string("poll: ") + std::strerror(errno);
            return;
        }
        if (stopping_.load())
            return;
        if (r == 0) {
            frame(true);
            continue;
        }
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                onBytes(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n < 0 && errno != EIO) {
                std::lock_guard lock(mutex_);
                error_ = std::string("read: ") + std::strerror(errno);
                return;
            }
        }
        if (p[0].revents & (POLLHUP | POLLERR | POLLIN | POLLNVAL)) {
            // The other end is closed for now (a port closed between two
            // sessions): wait a little for it to come back instead of spinning.
            if (p[0].revents & POLLNVAL) {
                std::lock_guard lock(mutex_);
                error_ = "the printer's end is not an open file";
                return;
            }
            if (!pending_.empty())
                frame(true);
            pause(std::chrono::milliseconds(10));
        }
    }
}

} // namespace fw::sim
