// The network print path on Linux: one SMB print job to the share lp1, as a
// guest, through libsmbclient.
//
// Samba, like other print servers, prints whatever the job file holds when
// the file is closed, also when the connection breaks, and drops a job file
// that is still empty. So the job is written only when it is handed over, and
// a job given up on is closed empty.

#include "channels/network_sink.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <dlfcn.h>
#include <fcntl.h>
#include <functional>
#include <future>
#include <libsmbclient.h>
#include <mutex>
#include <sys/statvfs.h>
#include <thread>
#include <type_traits>

namespace fw {

namespace {

using namespace std::chrono_literals;

// Connection and answer time-outs of libsmbclient; an unreachable host that
// drops packets may still take a few seconds more at open.
constexpr int kTimeoutMs = 3000;
// While a job is handed over the window waits this long for each answer of
// the print server, then gives up and reports it.
constexpr auto kAnswerWait = 1000ms;
// Jobs go out in pieces of this size, so each answer comes within that wait
// even on a slow network.
constexpr std::size_t kPiece = 64 * 1024;
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

    // Runs `f` here and waits for its result.
    template <class F>
    auto call(F f) -> decltype(f())
    {
        std::packaged_task<decltype(f())()> task(std::move(f));
        auto result = task.get_future();
        post([&task] { task(); });
        return result.get();
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

    // The end of the program waits a little for jobs still being ended; a
    // job given up on is empty, so the server drops it however it ends.
    ~SmbThread()
    {
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

// One connection and its job file. Used on the SmbThread only.
struct SmbJob {
    SMBCCTX* ctx = nullptr;
    SMBCFILE* file = nullptr;

    std::string open(const NetworkAddress& address)
    {
        const SmbClient& smb = SmbClient::get();
        if (!smb.error.empty())
            return smb.error;
        SMBCCTX* c = smb.newContext();
        if (!c)
            return reason(errno);
        smb.setDebug(c, 0);
        smb.setTimeout(c, kTimeoutMs);
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

    // Closes the file as it is and the connection.
    void end()
    {
        if (!ctx)
            return;
        const SmbClient& smb = SmbClient::get();
        if (file)
            smb.getFunctionClose(ctx)(ctx, file);
        smb.freeContext(ctx, 1);
        ctx = nullptr;
        file = nullptr;
    }
};

// One hand-over, shared by the window and the SmbThread.
struct Delivery {
    std::mutex m;
    std::condition_variable cv;
    std::vector<std::uint8_t> bytes;
    unsigned answers = 0; // answers of the print server so far
    bool sending = false; // bytes went out: the job can no longer be withdrawn
    bool givenUp = false; // the window stopped waiting
    bool done = false;
    std::string result;
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

void send(SmbJob& job, Delivery& d)
{
    // First ask for the free room: that also shows the server still answers
    // before anything of the job goes out.
    struct statvfs fs {};
    errno = 0;
    const SmbClient& smb = SmbClient::get();
    const int asked = smb.getFunctionFstatVFS(job.ctx)(job.ctx, job.file, &fs);
    const int askError = errno;
    bool go;
    {
        const std::lock_guard lock(d.m);
        if (!d.givenUp) {
            ++d.answers;
            if (asked != 0 && connectionLost(askError))
                d.result = reason(askError);
            else if (asked != 0 || !tooLittleRoom(fs, d.bytes.size(), d.result))
                d.sending = true;
        }
        go = d.sending;
        d.done = !go;
        d.cv.notify_all();
    }
    if (!go) {
        job.end(); // nothing written: the server drops the empty job
        return;
    }

    auto writeFn = smb.getFunctionWrite(job.ctx);
    for (std::size_t sent = 0; sent < d.bytes.size();) {
        const std::size_t piece = std::min(kPiece, d.bytes.size() - sent);
        errno = 0;
        const ssize_t n = writeFn(job.ctx, job.file, d.bytes.data() + sent, piece);
        const int e = errno;
        {
            const std::lock_guard lock(d.m);
            if (n > 0) {
                ++d.answers;
            } else {
                d.result = reason(e);
                d.done = true;
            }
            d.cv.notify_all();
        }
        if (n <= 0) {
            // Part of the job is on the server and any close prints it;
            // nothing here can take it back.
            job.end();
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
    errno = 0;
    const int closed = smb.getFunctionClose(job.ctx)(job.ctx, job.file);
    const int e = errno;
    job.file = nullptr;
    {
        const std::lock_guard lock(d.m);
        if (closed != 0)
            d.result = reason(e);
        d.done = true;
        d.cv.notify_all();
    }
    job.end();
}

class SmbPrintJob final : public NetworkSink {
public:
    ~SmbPrintJob() override { abandon(); }

    Result open(const std::string&, const NetworkAddress& address) override
    {
        abandon();
        auto job = std::make_shared<SmbJob>();
        const std::string why =
            SmbThread::instance().call([job, address] { return job->open(address); });
        if (!why.empty())
            return Result::failure(why);
        job_ = std::move(job);
        return Result::success();
    }

    Result deliver(std::vector<std::uint8_t> bytes) override
    {
        if (!job_)
            return Result::failure("it is not open");
        auto d = std::make_shared<Delivery>();
        d->bytes = std::move(bytes);
        SmbThread::instance().post([job = std::move(job_), d] { send(*job, *d); });
        std::unique_lock lock(d->m);
        unsigned seen = 0;
        while (!d->done) {
            if (!d->cv.wait_for(lock, kAnswerWait, [&] { return d->done || d->answers != seen; })) {
                d->givenUp = true;
                return Result::failure(
                    d->sending ? "the print server stopped answering while it took the "
                                 "job; the printer may still receive it, whole or in part"
                               : "the print server did not answer in time; nothing was sent");
            }
            seen = d->answers;
        }
        return d->result.empty() ? Result::success() : Result::failure(d->result);
    }

    void abandon() override
    {
        if (job_)
            SmbThread::instance().post([job = std::move(job_)] { job->end(); });
    }

    bool isOpen() const override { return job_ != nullptr; }

private:
    std::shared_ptr<SmbJob> job_;
};

} // namespace

std::unique_ptr<NetworkSink> makeNetworkSink()
{
    return std::make_unique<SmbPrintJob>();
}

} // namespace fw
