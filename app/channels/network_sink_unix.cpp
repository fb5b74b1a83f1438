// The network print path on Linux: one SMB print job to the share lp1, as a
// guest, through libsmbclient.
//
// Samba, like other print servers, prints whatever the job file holds when
// the file is closed, also when the connection breaks, and drops a job file
// that is still empty. Samba 4.17 offers no way to take back what a job file
// holds: over SMB2 and SMB3 it refuses to truncate a print file or to mark
// it for deletion, and the queue calls that list or cancel jobs need SMB1,
// which it does not speak unless told to. What it does guarantee: it writes
// a request's data only once the whole request has arrived, and a request
// that a reset connection cut off is dropped.
//
// So the job is written in one call when it is handed over. libsmbclient
// sends it as one request when the server takes that much at once (8 MiB
// for Samba and Windows), else in pieces, each only after the server has
// answered the one before. While the server has not answered and the end of
// what went into the connection has not left this machine, the server holds
// nothing of the job, and a reset leaves the printer with nothing. After
// that a stop would no longer keep the job from the printer: the hand-over
// then waits for the server and says what the printer may get.

#include "channels/network_sink.h"

#include "channels/connection_watch.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <libsmbclient.h>
#include <mutex>
#include <sys/statvfs.h>
#include <thread>
#include <type_traits>

namespace fw {

namespace {

using namespace std::chrono_literals;

// libsmbclient's own time-out counts from the start of each request, so a
// large job on a slow link would end however well it moves. It is off; the
// waiting side follows the connection instead and resets it.
constexpr int kNoTimeout = 0;
// Opening the job: connection, negotiation, log-on and the job file. The
// library gives up on a connection that is not taken within about 5 s.
constexpr auto kOpenWait = 6000ms;
// The print server's answer to the question asked before the job goes out.
constexpr auto kAnswerWait = 1000ms;
// How often the waiting side looks at the hand-over (and lets the window run).
constexpr auto kLook = 50ms;
// A stop resets the connection only while at least this much of the job is
// still unsent here: the reset must reach the server before the end of the
// request could.
constexpr std::uint32_t kStopMargin = 64 * 1024;
// At the end of the program, how long jobs still being ended may hold it up.
constexpr auto kExitWait = 1000ms;

std::string reason(int error)
{
    if (error == 0)
        return "the print server refused it without a reason";
    std::string text = std::strerror(error);
    if (error == ECONNREFUSED)
        text += " (no print server answers at this address)";
    else if (error == ENOENT)
        text += " (the host has no printer share lp1)";
    else if (error == EINVAL)
        text += " (the host name cannot be resolved)";
    else if (error == ETIMEDOUT)
        text += " (the print server did not answer in time)";
    else if (error == EACCES || error == EPERM)
        text += " (the printer share refuses guests)";
    return text;
}

// The connection to the print server is gone or silent.
bool connectionLost(int error)
{
    return error == ETIMEDOUT || error == ECONNRESET || error == ECONNABORTED || error == EPIPE ||
           error == ENOTCONN || error == ENETUNREACH || error == EHOSTUNREACH;
}

void guestLogin(SMBCCTX*, const char*, const char*, char* workgroup, int workgroupLen, char* user,
                int userLen, char* password, int passwordLen)
{
    if (workgroupLen > 0)
        workgroup[0] = '\0';
    if (userLen > 0)
        user[0] = '\0';
    if (passwordLen > 0)
        password[0] = '\0';
}

// libsmbclient, loaded on the first use of the network path: a program that
// never prints to a share does not pay for the hundred libraries under it.
struct SmbClient {
    decltype(&smbc_new_context) newContext = nullptr;
    decltype(&smbc_free_context) freeContext = nullptr;
    decltype(&smbc_init_context) initContext = nullptr;
    decltype(&smbc_setDebug) setDebug = nullptr;
    decltype(&smbc_setTimeout) setTimeout = nullptr;
    decltype(&smbc_setOptionUseKerberos) setOptionUseKerberos = nullptr;
    decltype(&smbc_setOptionFallbackAfterKerberos) setOptionFallbackAfterKerberos = nullptr;
    decltype(&smbc_setFunctionAuthDataWithContext) setFunctionAuthDataWithContext = nullptr;
    decltype(&smbc_getFunctionOpen) getFunctionOpen = nullptr;
    decltype(&smbc_getFunctionWrite) getFunctionWrite = nullptr;
    decltype(&smbc_getFunctionClose) getFunctionClose = nullptr;
    decltype(&smbc_getFunctionFstatVFS) getFunctionFstatVFS = nullptr;
    std::string error; // why it could not be loaded; empty when it was

    // Loaded once, on the SmbThread; it stays for the life of the program.
    static const SmbClient& get()
    {
        static const SmbClient client = load();
        return client;
    }

private:
    static SmbClient load()
    {
        SmbClient c;
        constexpr const char* kName = "libsmbclient.so.0";
        void* lib = ::dlopen(kName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!lib) {
            const char* e = ::dlerror();
            c.error = std::string("the SMB client library ") + kName +
                      " could not be loaded: " + (e ? e : "not found");
            return c;
        }
        const auto bind = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(lib, name));
            if (!fn && c.error.empty())
                c.error = std::string("the SMB client library ") + kName + " has no " + name;
        };
        bind(c.newContext, "smbc_new_context");
        bind(c.freeContext, "smbc_free_context");
        bind(c.initContext, "smbc_init_context");
        bind(c.setDebug, "smbc_setDebug");
        bind(c.setTimeout, "smbc_setTimeout");
        bind(c.setOptionUseKerberos, "smbc_setOptionUseKerberos");
        bind(c.setOptionFallbackAfterKerberos, "smbc_setOptionFallbackAfterKerberos");
        bind(c.setFunctionAuthDataWithContext, "smbc_setFunctionAuthDataWithContext");
        bind(c.getFunctionOpen, "smbc_getFunctionOpen");
        bind(c.getFunctionWrite, "smbc_getFunctionWrite");
        bind(c.getFunctionClose, "smbc_getFunctionClose");
        bind(c.getFunctionFstatVFS, "smbc_getFunctionFstatVFS");
        return c;
    }
};

void cutOffLingering();

// Makes every libsmbclient call of the program, one after another, on a
// thread of its own: the window never waits on a print server longer than it
// chooses to, and a job it gave up on is ended here meanwhile.
class SmbThread {
public:
    static SmbThread& instance()
    {
        static SmbThread thread;
        return thread;
    }

    void post(std::function<void()> task)
    {
        {
            const std::lock_guard lock(q_->m);
            q_->tasks.push_back(std::move(task));
        }
        q_->cv.notify_all();
    }

private:
    struct Queue {
        std::mutex m;
        std::condition_variable cv;
        std::deque<std::function<void()>> tasks;
        bool busy = false;
        bool stop = false;
    };

    SmbThread() : q_(std::make_shared<Queue>()), thread_(serve, q_) {}

    // The end of the program cuts off the jobs nobody waits for and waits a
    // little for them to end. Those were empty, or reported as possibly
    // printed.
    ~SmbThread()
    {
        cutOffLingering();
        std::unique_lock lock(q_->m);
        q_->stop = true;
        q_->cv.notify_all();
        const bool idle =
            q_->cv.wait_for(lock, kExitWait, [&] { return q_->tasks.empty() && !q_->busy; });
        lock.unlock();
        if (idle)
            thread_.join();
        else
            thread_.detach();
    }

    static void serve(std::shared_ptr<Queue> q)
    {
        std::unique_lock lock(q->m);
        for (;;) {
            q->cv.wait(lock, [&] { return q->stop || !q->tasks.empty(); });
            if (q->tasks.empty())
                return;
            std::function<void()> task = std::move(q->tasks.front());
            q->tasks.pop_front();
            q->busy = true;
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
            q->busy = false;
            q->cv.notify_all();
        }
    }

    std::shared_ptr<Queue> q_;
    std::thread thread_;
};

// True when the share reports less room than the job needs: the job would be
// cut off where the disk fills up, and the part before printed.
bool tooLittleRoom(const struct statvfs& fs, std::size_t size, std::string& why)
{
    // libsmbclient gives bytes per sector and sectors per unit.
    const unsigned long long unit =
        static_cast<unsigned long long>(fs.f_bsize) * (fs.f_frsize ? fs.f_frsize : 1);
    if (fs.f_blocks == 0 || unit == 0)
        return false; // the server does not tell
    const unsigned long long units = fs.f_bavail;
    if (units >= (size + unit - 1) / unit)
        return false;
    why = "the print share has room for " + std::to_string(units * unit) +
          " bytes, the job needs " + std::to_string(size) + " bytes";
    return true;
}

// What the connection tells of a job since `base`, its state when the job
// began to go out.
struct Taken {
    // The server may hold the job, or part of it: it answered, or the end of
    // what went into the connection may have left this machine (or the
    // connection can no longer be followed). A reset no longer takes it back.
    bool mayHold = false;
    // The server answered before the whole job went into the connection: it
    // takes the job in pieces and holds the first ones.
    bool inPieces = false;
    std::uint64_t acked = 0; // bytes of it the server's side has taken
};

Taken taken(const TcpProgress& p, const TcpProgress& base, std::size_t size)
{
    Taken t;
    if (!p.known) {
        t.mayHold = true;
        return t;
    }
    const bool answered = p.received != base.received;
    t.mayHold = answered || (p.written > base.written && p.unsent < kStopMargin);
    t.inPieces = answered && p.written - base.written < size;
    t.acked = std::min<std::uint64_t>(size, p.acked - base.acked);
    return t;
}

// One print job: its connection and job file, used on the SmbThread, and
// what it shares with whoever waits on it.
struct SmbJob {
    explicit SmbJob(const NetworkAddress& a)
        : address(a), ports(a.port ? std::vector<std::uint16_t>{static_cast<std::uint16_t>(a.port)}
                                   : std::vector<std::uint16_t>{445, 139})
    {}

    const NetworkAddress address;
    const std::vector<std::uint16_t> ports; // where the server listens

    // SmbThread only.
    SMBCCTX* ctx = nullptr;
    SMBCFILE* file = nullptr;

    // Shared, under `m`.
    std::mutex m;
    std::condition_variable cv;
    bool started = false;          // the open has begun
    std::vector<TcpSocket> before; // connections to the server before this one
    TcpSocket socket;              // the connection, from the open to the end
    bool givenUp = false;          // nobody waits for this job any more
    bool opened = false;           // the open has ended, with `why` empty when it worked
    enum class Step { Asking, Sending, Done } step = Step::Asking;
    std::vector<std::uint8_t> bytes;
    TcpProgress base;        // the connection when the job began to go out
    bool failedLate = false; // the hand-over failed when the server may have held the job
    std::string why;         // the last failure

    // Resets the connection, from any thread, with `m` held; while the open
    // still runs, every connection to the server opened since it began. The
    // SmbThread's calls on it then fail at once.
    void cutOff()
    {
        givenUp = true;
        if (socket.fd >= 0) {
            resetConnection(socket);
            return;
        }
        if (started && !opened)
            for (const TcpSocket& s : tcpConnectionsTo(ports))
                if (std::find(before.begin(), before.end(), s) == before.end())
                    resetConnection(s);
    }

    // SmbThread: connects and opens the job file.
    void open()
    {
        {
            const std::lock_guard lock(m);
            if (givenUp)
                return;
            before = tcpConnectionsTo(ports);
            started = true;
        }
        std::string failure = connect();
        bool drop = false;
        {
            const std::lock_guard lock(m);
            if (failure.empty()) {
                for (const TcpSocket& s : tcpConnectionsTo(ports))
                    if (std::find(before.begin(), before.end(), s) == before.end())
                        socket = s;
                if (socket.fd < 0)
                    failure = "its connection to the print server cannot be followed";
                else
                    // From here on no end of this program, however it comes,
                    // lets the system send the rest of a request after it.
                    resetOnClose(socket, true);
            }
            why = failure;
            opened = true;
            drop = !why.empty() || givenUp;
            cv.notify_all();
        }
        if (drop)
            end();
    }

    // SmbThread: the hand-over.
    void send()
    {
        const SmbClient& smb = SmbClient::get();
        // First ask for the free room: that also shows the server still
        // answers before anything of the job goes out.
        struct statvfs fs {};
        errno = 0;
        const int asked = smb.getFunctionFstatVFS(ctx)(ctx, file, &fs);
        const int askError = errno;
        {
            std::unique_lock lock(m);
            if (!givenUp) {
                if (asked != 0 && connectionLost(askError))
                    why = reason(askError);
                else if (asked == 0)
                    (void)tooLittleRoom(fs, bytes.size(), why);
            }
            if (givenUp || !why.empty()) {
                step = Step::Done;
                cv.notify_all();
                lock.unlock();
                end(); // nothing written: the server drops the empty job
                return;
            }
            base = tcpProgress(socket);
            step = Step::Sending;
        }
        errno = 0;
        const ssize_t n = smb.getFunctionWrite(ctx)(ctx, file, bytes.data(), bytes.size());
        int e = errno;
        const bool written = n >= 0 && static_cast<std::size_t>(n) == bytes.size();
        const TcpProgress after = tcpProgress(socket);
        int closed = -1;
        if (written) {
            errno = 0;
            closed = smb.getFunctionClose(ctx)(ctx, file);
            e = errno;
            file = nullptr;
        }
        {
            const std::lock_guard lock(m);
            if (closed == 0)
                resetOnClose(socket, false); // printed: the connection may end in order
            else {
                why = reason(e);
                failedLate = written || taken(after, base, bytes.size()).mayHold;
            }
            step = Step::Done;
            cv.notify_all();
        }
        end();
    }

    // SmbThread: closes the file as it is and the connection.
    void end()
    {
        {
            // The descriptor is closed below and may then be another's.
            const std::lock_guard lock(m);
            socket = {};
        }
        if (!ctx)
            return;
        const SmbClient& smb = SmbClient::get();
        if (file)
            smb.getFunctionClose(ctx)(ctx, file);
        smb.freeContext(ctx, 1);
        ctx = nullptr;
        file = nullptr;
    }

private:
    std::string connect()
    {
        const SmbClient& smb = SmbClient::get();
        if (!smb.error.empty())
            return smb.error;
        SMBCCTX* c = smb.newContext();
        if (!c)
            return reason(errno);
        smb.setDebug(c, 0);
        smb.setTimeout(c, kNoTimeout);
        smb.setOptionUseKerberos(c, 0);
        smb.setOptionFallbackAfterKerberos(c, 1);
        smb.setFunctionAuthDataWithContext(c, guestLogin);
        if (!smb.initContext(c)) {
            const int e = errno;
            smb.freeContext(c, 1);
            return reason(e);
        }
        std::string url = "smb://" + address.host;
        if (address.port)
            url += ":" + std::to_string(address.port);
        url += "/lp1";
        errno = 0;
        SMBCFILE* f = smb.getFunctionOpen(c)(c, url.c_str(), O_WRONLY, 0);
        if (!f) {
            const int e = errno;
            smb.freeContext(c, 1);
            return reason(e);
        }
        ctx = c;
        file = f;
        return {};
    }
};

// Jobs nobody waits for any more whose server may still hold them up: reset
// when the next job opens or the program ends, so the SmbThread is free.
// Each was reported as possibly printed, or is empty.
std::mutex lingeringLock;
std::vector<std::weak_ptr<SmbJob>> lingering;

void linger(const std::shared_ptr<SmbJob>& job)
{
    const std::lock_guard lock(lingeringLock);
    lingering.push_back(job);
}

void cutOffLingering()
{
    const std::lock_guard lock(lingeringLock);
    for (const auto& weak : lingering)
        if (const auto job = weak.lock()) {
            const std::lock_guard jobLock(job->m);
            job->cutOff();
        }
    lingering.clear();
}

std::string seconds(std::chrono::milliseconds d)
{
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    return s == 1 ? "1 second" : std::to_string(s) + " seconds";
}

class SmbPrintJob final : public NetworkSink {
public:
    explicit SmbPrintJob(std::chrono::milliseconds stall) : stall_(stall) {}
    ~SmbPrintJob() override { abandon(); }

    Result<> open(const std::string&, const NetworkAddress& address) override
    {
        abandon();
        cutOffLingering();
        auto job = std::make_shared<SmbJob>(address);
        SmbThread::instance().post([job] { job->open(); });
        std::unique_lock lock(job->m);
        if (!job->cv.wait_for(lock, kOpenWait, [&] { return job->opened; })) {
            job->cutOff();
            lock.unlock();
            linger(job);
            return Result<>::failure(reason(ETIMEDOUT));
        }
        if (!job->why.empty())
            return Result<>::failure(job->why);
        lock.unlock();
        job_ = std::move(job);
        return Result<>::success();
    }

    Result<> deliver(std::vector<std::uint8_t> bytes, HandOverWatch& watch) override
    {
        if (!job_)
            return Result<>::failure("it is not open");
        const std::shared_ptr<SmbJob> job = std::move(job_);
        {
            const std::lock_guard lock(job->m);
            job->bytes = std::move(bytes);
        }
        SmbThread::instance().post([job] { job->send(); });
        const Result<> r = await(*job, watch);
        bool stillGoing = false;
        {
            const std::lock_guard lock(job->m);
            stillGoing = job->step != SmbJob::Step::Done;
        }
        if (stillGoing)
            linger(job);
        return r;
    }

    void abandon() override
    {
        if (!job_)
            return;
        {
            // Nothing written: the reset makes the server drop the empty job
            // at once, answering or not.
            const std::lock_guard lock(job_->m);
            job_->cutOff();
        }
        SmbThread::instance().post([job = std::move(job_)] { job->end(); });
    }

    bool isOpen() const override { return job_ != nullptr; }

private:
    // Waits for the hand-over while the job keeps moving; stops it, or gives
    // up on a server that takes nothing more, by resetting the connection
    // while the server cannot hold any of the job yet.
    Result<> await(SmbJob& job, HandOverWatch& watch)
    {
        const auto started = std::chrono::steady_clock::now();
        auto moved = started;
        TcpProgress seen;
        bool late = false;
        std::unique_lock lock(job.m);
        for (;;) {
            job.cv.wait_for(lock, kLook, [&] { return job.step == SmbJob::Step::Done; });
            if (job.step == SmbJob::Step::Done)
                return settled(job);
            lock.unlock();
            const bool stop = watch.stopRequested() && !late;
            lock.lock();
            if (job.step == SmbJob::Step::Done)
                continue;
            const auto now = std::chrono::steady_clock::now();
            if (job.step == SmbJob::Step::Asking) {
                if (stop) {
                    job.cutOff();
                    return Result<>::refusal();
                }
                if (now - started >= kAnswerWait) {
                    job.cutOff();
                    return Result<>::failure(
                        "the print server did not answer in time; nothing was sent");
                }
                continue;
            }
            // Read the connection and act on it at once: the reset follows
            // within microseconds, long before the margin could leave.
            const TcpProgress p = tcpProgress(job.socket);
            const std::size_t size = job.bytes.size();
            const Taken t = taken(p, job.base, size);
            if (!late && t.mayHold) {
                late = true;
                lock.unlock();
                watch.tooLateToStop();
                lock.lock();
                continue;
            }
            if (p.acked != seen.acked || p.received != seen.received) {
                seen = p;
                moved = now;
            }
            if (stop) {
                job.cutOff();
                return Result<>::refusal();
            }
            if (now - moved < stall_)
                continue;
            if (!late) {
                job.cutOff();
                return Result<>::failure(
                    "the print server took nothing for " + seconds(stall_) + ", after about " +
                    std::to_string(t.acked) + " of the job's " + std::to_string(size) +
                    " bytes; the job was cut off unfinished, so the printer receives none of it");
            }
            // Left as it is: a server that goes on may still get it whole.
            job.givenUp = true;
            if (t.inPieces)
                return Result<>::failure(
                    "the print server takes the job in pieces and holds up to " +
                    std::to_string(t.acked) + " of its " + std::to_string(size) +
                    " bytes, but took nothing more for " + seconds(stall_) +
                    "; the printer may print that part, and the share gives no way to take it "
                    "back");
            return Result<>::failure("the print server may hold the whole job but has not "
                                     "confirmed it for " +
                                     seconds(stall_) +
                                     "; the printer may print all of it, or none of it");
        }
    }

    // What a hand-over that ran to its end gave the printer.
    static Result<> settled(const SmbJob& job)
    {
        if (job.why.empty())
            return Result<>::success();
        if (job.failedLate)
            return Result<>::failure(job.why + "; the print server may have had the job, or part "
                                               "of it, and the printer may print that");
        if (job.base.known)
            return Result<>::failure(job.why + "; the job was cut off unfinished, so the printer "
                                               "receives none of it");
        return Result<>::failure(job.why);
    }

    std::chrono::milliseconds stall_;
    std::shared_ptr<SmbJob> job_;
};

} // namespace

std::unique_ptr<NetworkSink> makeNetworkSink(std::chrono::milliseconds stall)
{
    return std::make_unique<SmbPrintJob>(stall);
}

} // namespace fw
