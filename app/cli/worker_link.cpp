#include "cli/worker_link.h"

#include <array>

namespace fw {

void Mailbox::post(News news)
{
    {
        const std::lock_guard lock(mutex_);
        news_.push_back(std::move(news));
    }
    ready_.notify_one();
}

std::deque<News> Mailbox::take(std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, wait, [this] { return !news_.empty(); });
    std::deque<News> taken;
    taken.swap(news_);
    return taken;
}

WorkerLink::WorkerLink(std::size_t row, std::unique_ptr<WorkerProcess> process,
                       const std::vector<std::uint8_t>& package, Mailbox& mailbox)
    : row_(row), process_(std::move(process)), package_(package), mailbox_(mailbox)
{
    feeder_ = std::thread([this] { feed(); });
    listener_ = std::thread([this] { listen(); });
}

WorkerLink::~WorkerLink()
{
    process_->kill(); // where it still runs
    feeder_.join();
    listener_.join();
}

void WorkerLink::stop()
{
    const std::lock_guard lock(input_);
    if (!fed_)
        ++stops_;
    else
        process_->requestEnd();
}

void WorkerLink::feed()
{
    (void)process_->write(package_);
    {
        const std::lock_guard lock(input_);
        fed_ = true;
        for (; stops_ > 0; --stops_)
            process_->requestEnd();
    }
    readLines(&WorkerProcess::readErrors, News::Kind::Said);
    mailbox_.post({row_, News::Kind::ErrorsEnded, {}, 0});
}

void WorkerLink::listen()
{
    readLines(&WorkerProcess::readOutput, News::Kind::Line);
    const int code = process_->wait();
    mailbox_.post({row_, News::Kind::Ended, {}, code});
}

void WorkerLink::readLines(std::size_t (WorkerProcess::*read)(std::span<char>), News::Kind kind)
{
    constexpr std::size_t kLongest = 1 << 20; // a line past this is cut
    std::string pending;
    std::array<char, 4096> buf;
    for (std::size_t n; (n = ((*process_).*read)(buf)) > 0;) {
        pending.append(buf.data(), n);
        std::size_t start = 0;
        for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos;
             start = nl + 1) {
            std::string line = pending.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            mailbox_.post({row_, kind, std::move(line), 0});
        }
        pending.erase(0, start);
        if (pending.size() > kLongest)
            pending.clear();
    }
    if (!pending.empty())
        mailbox_.post({row_, kind, std::move(pending), 0});
}

} // namespace fw
