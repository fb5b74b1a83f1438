#include "cli/worker_process.h"

#include "cli/console.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fw {

struct WorkerProcess::Handles {
    pid_t pid = -1;
    int in = -1, out = -1, err = -1;
    std::mutex mutex; // the pid stays this process's until it is reaped
    bool reaped = false;

    ~Handles()
    {
        for (const int fd : {in, out, err})
            if (fd >= 0)
                ::close(fd);
    }
};

namespace {

std::size_t readSome(int fd, std::span<char> into)
{
    for (;;) {
        const ssize_t n = ::read(fd, into.data(), into.size());
        if (n >= 0)
            return static_cast<std::size_t>(n);
        if (errno != EINTR)
            return 0;
    }
}

} // namespace

Result<std::unique_ptr<WorkerProcess>> WorkerProcess::start(const std::vector<std::string>& args)
{
    using Started = Result<std::unique_ptr<WorkerProcess>>;
    // Close-on-exec: no other worker inherits this one's pipes, or its input
    // would never end while that one runs.
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0)
        return Started::failure(std::string("no pipe: ") + std::strerror(errno));
    if (::pipe2(out, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(in[0]), ::close(in[1]);
        return Started::failure(std::string("no pipe: ") + std::strerror(e));
    }
    if (::pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        ::close(in[0]), ::close(in[1]), ::close(out[0]), ::close(out[1]);
        return Started::failure(std::string("no pipe: ") + std::strerror(e));
    }

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, in[0], 0);
    posix_spawn_file_actions_adddup2(&files, out[1], 1);
    posix_spawn_file_actions_adddup2(&files, err[1], 2);
    // Whatever else this process was given stays here (a printer's line
    // among them: a worker holding it would keep it from hanging up).
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                        POSIX_SPAWN_SETSIGDEF);

    std::string program = "firmware-cli";
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copies = args;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    auto handles = std::make_unique<Handles>();
    const int spawned =
        ::posix_spawn(&handles->pid, "/proc/self/exe", &files, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attr);
    ::close(in[0]), ::close(out[1]), ::close(err[1]);
    handles->in = in[1];
    handles->out = out[0];
    handles->err = err[0];
    if (spawned != 0) {
        handles->reaped = true;
        return Started::failure(std::string("the program could not be started again: ") +
                                std::strerror(spawned));
    }
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(std::move(handles)));
}

WorkerProcess::WorkerProcess(std::unique_ptr<Handles> handles) : h_(std::move(handles)) {}

WorkerProcess::~WorkerProcess()
{
    if (!h_->reaped) {
        kill();
        (void)wait();
    }
}

bool WorkerProcess::write(std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(h_->in, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

std::size_t WorkerProcess::readOutput(std::span<char> into)
{
    return readSome(h_->out, into);
}

std::size_t WorkerProcess::readErrors(std::span<char> into)
{
    return readSome(h_->err, into);
}

int WorkerProcess::wait()
{
    int status = 0;
    pid_t got = -1;
    do
        got = ::waitpid(h_->pid, &status, 0);
    while (got < 0 && errno == EINTR);
    const std::lock_guard lock(h_->mutex);
    h_->reaped = true;
    if (got < 0)
        return 128 + SIGKILL;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void WorkerProcess::requestEnd()
{
    const std::lock_guard lock(h_->mutex);
    if (!h_->reaped)
        ::kill(h_->pid, SIGTERM);
}

void WorkerProcess::kill()
{
    const std::lock_guard lock(h_->mutex);
    if (!h_->reaped)
        ::kill(h_->pid, SIGKILL);
}

bool readFromStation(std::span<std::uint8_t> into)
{
    while (!into.empty()) {
        const ssize_t n = ::read(STDIN_FILENO, into.data(), into.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        into = into.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

void takeRequestsFromStation()
{
    // Requests come as SIGTERM (the worker's own process group keeps the
    // terminal's Ctrl+C from it), and so does the station's end.
    const pid_t station = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != station)
        requestEnd();
}

} // namespace fw
