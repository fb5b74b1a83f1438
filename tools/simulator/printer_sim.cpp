#include "printer_sim.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace fw::sim {

namespace {
constexpr std::uint8_t kCr = 0x0D;
using Clock = std::chrono::steady_clock;
} // namespace

const std::vector<std::uint8_t>& modelQuery() {
    static const std::vector<std::uint8_t> query{0x01, 0x39, 0x37, 0x02, 0x30,
                                                 0x31, 0x31, 0x03, 0x36, 0x45};
    return query;
}

std::vector<std::vector<std::uint8_t>> splitPackage(const std::vector<std::uint8_t>& package) {
    std::vector<std::vector<std::uint8_t>> out;
    std::size_t i = 0;
    while (i < package.size()) {
        if (package[i] != kSoh) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < package.size() && package[end] != kCr) ++end;
        out.emplace_back(package.begin() + static_cast<std::ptrdiff_t>(i),
                         package.begin() + static_cast<std::ptrdiff_t>(end));
        i = end + 2; // the CR and the byte after it
    }
    return out;
}

PrinterSimulator::PrinterSimulator(int fd, PrinterScript script)
    : fd_(fd), script_(std::move(script)) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

PrinterSimulator::~PrinterSimulator() {
    for (int f : wake_)
        if (f >= 0) ::close(f);
}

void PrinterSimulator::stop() {
    stopping_.store(true);
    if (wake_[1] >= 0) {
        const char c = 'x';
        [[maybe_unused]] auto r = ::write(wake_[1], &c, 1);
    }
}

std::vector<std::uint8_t> PrinterSimulator::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::vector<std::uint8_t>> PrinterSimulator::records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

int PrinterSimulator::queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

std::vector<std::chrono::nanoseconds> PrinterSimulator::ackToNextRecord() const {
    std::lock_guard lock(mutex_);
    return ackTimes_;
}

std::string PrinterSimulator::lastError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

bool PrinterSimulator::pause(std::chrono::milliseconds d) {
    const auto until = Clock::now() + d;
    while (!stopping_.load()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if (left.count() <= 0) return true;
        pollfd p{wake_[0], POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(left.count()));
    }
    return false;
}

bool PrinterSimulator::sendAll(const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd_, data, n);
        if (w > 0) {
            data += w;
            n -= static_cast<std::size_t>(w);
        } else if (w < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd_, POLLOUT, 0};
            ::poll(&p, 1, 100);
            if (stopping_.load()) return false;
        } else {
            return false;
        }
    }
    return true;
}

void PrinterSimulator::hangUp() {
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, fd_);
        ::close(null);
    }
    hungUp_.store(true);
}

void PrinterSimulator::answerQuery() {
    {
        std::lock_guard lock(mutex_);
        ++queries_;
    }
    if (!script_.answer) return;
    const std::string& text = *script_.answer;
    std::size_t at = 0;
    for (std::size_t piece : script_.answerPieces) {
        if (at >= text.size()) break;
        const std::size_t n = std::min(piece, text.size() - at);
        if (!sendAll(reinterpret_cast<const std::uint8_t*>(text.data()) + at, n)) return;
        at += n;
        if (!pause(script_.pieceGap)) return;
    }
    if (at < text.size())
        sendAll(reinterpret_cast<const std::uint8_t*>(text.data()) + at, text.size() - at);
}

void PrinterSimulator::acknowledge(int number) {
    if (number == script_.noAckRecord) return;
    if (script_.ackDelay.count() > 0 && !pause(script_.ackDelay)) return;
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

void PrinterSimulator::completeRecord(std::size_t length) {
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

// Splits pending bytes into the query and records. `quiet` is set when no byte
// has come for the quiet gap: whatever is pending then counts as complete.
void PrinterSimulator::frame(bool quiet) {
    const auto& records = script_.packageRecords;
    const auto& query = modelQuery();
    while (!hungUp_.load() && !stopping_.load()) {
        const auto soh = std::find(pending_.begin(), pending_.end(), kSoh);
        pending_.erase(pending_.begin(), soh); // noise between messages
        if (pending_.empty()) return;

        bool anyRecord = false;
        {
            std::lock_guard lock(mutex_);
            anyRecord = !records_.empty();
        }
        if (!anyRecord && pending_.size() >= query.size() &&
            std::equal(query.begin(), query.end(), pending_.begin())) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(query.size()));
            answerQuery();
            continue;
        }

        if (nextRecord_ && *nextRecord_ < records.size()) {
            const std::size_t want = records[*nextRecord_].size();
            if (pending_.size() >= want) {
                ++*nextRecord_;
                completeRecord(want);
                continue;
            }
            if (quiet) { // not what the package says: take what came
                nextRecord_.reset();
                completeRecord(pending_.size());
            }
            return;
        }

        if (!records.empty()) {
            std::optional<std::size_t> exact;
            bool longer = false;
            for (std::size_t k = 0; k < records.size(); ++k) {
                const auto& r = records[k];
                if (r.size() < pending_.size()) continue;
                if (!std::equal(pending_.begin(), pending_.end(), r.begin())) continue;
                if (r.size() == pending_.size()) {
                    if (!exact) exact = k;
                } else {
                    longer = true;
                }
            }
            if (exact && (!longer || quiet)) {
                nextRecord_ = *exact + 1;
                completeRecord(pending_.size());
                continue;
            }
        }
        if (quiet) {
            nextRecord_.reset();
            completeRecord(pending_.size());
        }
        return;
    }
}

void PrinterSimulator::onBytes(const std::uint8_t* data, std::size_t n) {
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

void PrinterSimulator::run() {
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
            if (errno == EINTR) continue;
            std::lock_guard lock(mutex_);
            error_ = std::string("poll: ") + std::strerror(errno);
            return;
        }
        if (stopping_.load()) return;
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
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
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
            if (!pending_.empty()) frame(true);
            pause(std::chrono::milliseconds(10));
        }
    }
}

} // namespace fw::sim
