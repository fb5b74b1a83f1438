#include "window/settings_file_io.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

namespace {

// Closes the descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool closeChecked()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a link points at is the one to replace, not the link itself.
std::string resolvedTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return path; // a dangling link: the rename replaces the link
    std::string out(real);
    std::free(real);
    return out;
}

} // namespace

SettingsFileRead readSettingsFile(const std::string& path)
{
    SettingsFileRead out;
    // Non-blocking, so that a pipe under the name cannot stall start-up.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        out.exists = errno != ENOENT && errno != ENOTDIR;
        return out;
    }
    out.exists = true;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return out;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return out;
        }
        if (n == 0)
            break;
        const std::size_t room = kSettingsFileLimit - out.bytes.size();
        if (static_cast<std::size_t>(n) > room) {
            out.bytes.append(buf, room);
            return out;
        }
        out.bytes.append(buf, static_cast<std::size_t>(n));
    }
    out.complete = true;
    return out;
}

bool replaceSettingsFile(const std::string& path, const std::string& bytes,
                         const std::function<void()>& beforeRename)
{
    const std::string target = resolvedTarget(path);

    mode_t mode = 0666;
    struct stat st {};
    const bool existed = ::stat(target.c_str(), &st) == 0;
    if (existed) {
        if (!S_ISREG(st.st_mode))
            return false;
        // Marked read-only, or not ours to write: the rename would succeed
        // in a writable folder, but the profile functions would fail.
        if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            return false;
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }

    std::string temp = target + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0)
        return false;
    // The file keeps its owner when someone else's file is rewritten; where
    // that is not allowed it simply becomes ours.
    if (existed && ::fchown(fd.get(), st.st_uid, st.st_gid) != 0) {
    }
    const bool written = writeAll(fd.get(), bytes.data(), bytes.size())
        && ::fchmod(fd.get(), mode) == 0 && ::fsync(fd.get()) == 0 && fd.closeChecked();
    if (!written) {
        ::unlink(temp.c_str());
        return false;
    }
    if (beforeRename)
        beforeRename();
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself last across a power cut.
    Fd dir(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

const char* nativeLineEnd()
{
    return "\n";
}

} // namespace fw
