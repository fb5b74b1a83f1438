#include "cli_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <linux/close_range.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fw::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

void keepOnlyStandardStreams()
{
    ::syscall(SYS_close_range, 3U, ~0U, 0U);
}

CliFolder::CliFolder()
{
    std::string t = (fs::temp_directory_path() / "fw-cli-XXXXXX").string();
    if (!::mkdtemp(t.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = t;
    fs::copy_file(FIRMWARE_CLI, dir_ / "firmware-cli");
    fs::copy_file(TAVLIB_PATH, dir_ / fs::path(TAVLIB_PATH).filename());
}

CliFolder::~CliFolder()
{
    fs::remove_all(dir_);
}

std::string CliFolder::add(const samples::Package& p)
{
    const fs::path f = dir_ / p.name;
    std::ofstream(f, std::ios::binary)
        .write(reinterpret_cast<const char*>(p.bytes.data()),
               static_cast<std::streamsize>(p.bytes.size()));
    return f.string();
}

std::string CliFolder::write(const std::string& name, const std::string& text)
{
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
}

CliRun CliFolder::run(const std::vector<std::string>& args,
                      const std::function<void(pid_t)>& during, bool errGone) const
{
    RunSetup setup;
    setup.during = during;
    setup.errGone = errGone;
    return run(args, setup);
}

CliRun CliFolder::run(const std::vector<std::string>& args, const RunSetup& setup) const
{
    const bool errGone = setup.errGone;
    int out[2], err[2];
    if (::pipe(out) != 0)
        return {};
    if (setup.errColumns > 0) {
        winsize size{};
        size.ws_row = 24;
        size.ws_col = static_cast<unsigned short>(setup.errColumns);
        if (::openpty(&err[0], &err[1], nullptr, nullptr, &size) != 0)
            return {};
    } else if (::pipe(err) != 0) {
        return {};
    }
    if (setup.outGone)
        ::close(out[0]);
    const std::string program = exe();
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!setup.outFile.empty()) {
            const int f = ::open(setup.outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(f, 1);
        } else {
            ::dup2(out[1], 1);
        }
        ::dup2(err[1], 2);
        keepOnlyStandardStreams();
        for (const std::string& e : setup.env)
            ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (errGone)
        ::close(err[0]);
    std::thread helper;
    if (setup.during)
        helper = std::thread([&] { setup.during(pid); });
    CliRun r;
    pollfd fds[2] = {{setup.outGone ? -1 : out[0], POLLIN, 0}, {errGone ? -1 : err[0], POLLIN, 0}};
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    int open = (errGone ? 0 : 1) + (setup.outGone ? 0 : 1);
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 200) <= 0)
            continue;
        for (int k = 0; k < 2; ++k) {
            if (!(fds[k].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
            if (n > 0) {
                (k == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            } else {
                fds[k].fd = -fds[k].fd - 1;
                --open;
            }
        }
    }
    if (open > 0)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (helper.joinable())
        helper.join();
    if (!setup.outGone)
        ::close(out[0]);
    if (!errGone)
        ::close(err[0]);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

RunningCli::RunningCli(const std::string& exe, const std::vector<std::string>& args)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        keepOnlyStandardStreams();
        std::vector<char*> argv{const_cast<char*>(exe.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
    reader_ = std::thread([this] {
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        for (int open = 2; open > 0;) {
            if (::poll(fds, 2, -1) <= 0)
                continue;
            for (int k = 0; k < 2; ++k) {
                if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                char buf[4096];
                const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
                const std::lock_guard lock(mutex_);
                if (n > 0) {
                    (k == 0 ? out_text_ : err_text_).append(buf, static_cast<std::size_t>(n));
                } else {
                    fds[k].fd = -fds[k].fd - 1;
                    --open;
                }
            }
            grown_.notify_all();
        }
        const std::lock_guard lock(mutex_);
        ended_ = true;
        grown_.notify_all();
    });
}

RunningCli::~RunningCli()
{
    if (pid_ > 0)
        (void)finish();
}

std::optional<std::string> RunningCli::nextLine(std::chrono::milliseconds wait)
{
    std::unique_lock lock(mutex_);
    const bool got = grown_.wait_for(
        lock, wait, [this] { return ended_ || out_text_.find('\n', taken_) != std::string::npos; });
    const auto nl = out_text_.find('\n', taken_);
    if (!got || nl == std::string::npos)
        return std::nullopt;
    std::string line = out_text_.substr(taken_, nl - taken_);
    taken_ = nl + 1;
    return line;
}

CliRun RunningCli::finish()
{
    {
        std::unique_lock lock(mutex_);
        if (!grown_.wait_for(lock, 60s, [this] { return ended_; }))
            ::kill(pid_, SIGKILL);
    }
    reader_.join();
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    ::close(out_);
    ::close(err_);
    CliRun r;
    r.out = out_text_;
    r.err = err_text_;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

SimulatedPrinter::SimulatedPrinter(const CliFolder& folder, sim::PrinterScript script, int com,
                                   bool setUp)
    : pty_(setUp)
{
    std::string why;
    if (!pty_.ok() || !pty_.linkAsCom(folder.str(), com, why))
        throw std::runtime_error("no pseudo-terminal: " + pty_.error() + why);
    sim_ = std::make_unique<sim::PrinterSimulator>(pty_.master(), std::move(script));
    thread_ = std::thread([this] { sim_->run(); });
}

SimulatedPrinter::~SimulatedPrinter()
{
    sim_->stop();
    thread_.join();
}

samples::Package sample(const std::string& name)
{
    for (const samples::Package& p : samples::shipped())
        if (p.name == name)
            return p;
    throw std::runtime_error("no sample " + name);
}

void waitUntilCaught(pid_t pid, int signal)
{
    const std::string status = "/proc/" + std::to_string(pid) + "/status";
    for (auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(5ms)) {
        std::ifstream in(status);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("SigCgt:", 0) == 0 &&
                (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1U) != 0)
                return;
    }
    ADD_FAILURE() << "the program never caught signal " << signal;
}

} // namespace fw::test
