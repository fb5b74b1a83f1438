#include "settings/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

namespace fw {

namespace {

// Closes the descriptor on every way out.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1)
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    bool closeChecked()
    {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

bool writeAllAt(int fd, const char* data, std::size_t size, off_t offset)
{
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
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

std::string nameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
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

bool hasAccessList(const std::string& path)
{
#if defined(__linux__)
    return ::getxattr(path.c_str(), "system.posix_acl_access", nullptr, 0) > 0;
#else
    (void)path;
    return false;
#endif
}

constexpr std::size_t kTempSuffixLength = 6;

std::string tempSuffix()
{
    static constexpr char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::string out(kTempSuffixLength, '0');
    for (char& c : out)
        c = kChars[random() % (sizeof kChars - 1)];
    return out;
}

bool isTempName(const std::string& name, const std::string& fileName)
{
    const std::string prefix = fileName + kSettingsTempInfix;
    return name.size() == prefix.size() + kTempSuffixLength &&
           name.compare(0, prefix.size(), prefix) == 0;
}

// A save holds a lock on its temporary file until the rename, so one that
// nobody holds was left behind by a crash. Where locks are not available
// nothing is taken for left behind.
void removeStaleTemps(const std::string& folder, const std::string& fileName)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(dir.get())) {
        if (isTempName(e->d_name, fileName))
            names.emplace_back(e->d_name);
    }
    const int dfd = ::dirfd(dir.get());
    for (const std::string& name : names) {
        Fd fd(::openat(dfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat opened {};
        if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        struct stat named {};
        if (::fstatat(dfd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            named.st_dev == opened.st_dev && named.st_ino == opened.st_ino)
            ::unlinkat(dfd, name.c_str(), 0);
    }
}

enum class Outcome { Replaced, Failed, OwnerNotKept };

// Writes the new contents under a temporary name and renames it over the
// target. `old` is the file being replaced, if any: the new one gets its
// owner, group and mode, or nothing is replaced (OwnerNotKept).
Outcome replaceThroughTemp(const std::string& target, const struct stat* old,
                           const std::string& bytes, const std::function<void()>& beforeRename)
{
    std::string temp;
    Fd fd;
    struct stat own {};
    for (int attempt = 0;; ++attempt) {
        if (attempt == 100)
            return Outcome::Failed;
        temp = target + kSettingsTempInfix + tempSuffix();
        // Created with the mode passed here, so that a new settings file
        // gets the process's umask like any other new file.
        fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.get() < 0) {
            if (errno == EEXIST || errno == EINTR)
                continue;
            return Outcome::Failed;
        }
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            continue; // another save is removing it as left behind
        if (::fstat(fd.get(), &own) != 0) {
            ::unlink(temp.c_str());
            return Outcome::Failed;
        }
        if (own.st_nlink > 0)
            break;
        // Removed as left behind before the lock was ours: take a new name.
    }
    const auto fail = [&temp](Outcome outcome) {
        ::unlink(temp.c_str());
        return outcome;
    };

    if (old) {
        const mode_t mode = old->st_mode & 07777;
        if (own.st_uid != old->st_uid || own.st_gid != old->st_gid) {
            if (::fchown(fd.get(), old->st_uid, old->st_gid) != 0)
                return fail(Outcome::OwnerNotKept);
        }
        // After the owner, which may clear the set-id bits; checked, as a
        // set-group-id bit can silently be refused.
        if (::fchmod(fd.get(), mode) != 0 || ::fstat(fd.get(), &own) != 0 ||
            own.st_uid != old->st_uid || own.st_gid != old->st_gid || (own.st_mode & 07777) != mode)
            return fail(Outcome::OwnerNotKept);
    }
    if (!writeAllAt(fd.get(), bytes.data(), bytes.size(), 0) || ::fsync(fd.get()) != 0)
        return fail(Outcome::Failed);
    if (beforeRename)
        beforeRename();
    // Still locked while renamed, so no other save can take it for one left
    // behind in between.
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return fail(Outcome::Failed);
    // Make the rename itself last across a power cut.
    Fd dir(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return Outcome::Replaced;
}

// Rewrites the file where it is. What grows the file is written first, so
// that a full disk stops the save before anything of the old contents has
// been overwritten; then the rest, then the file is cut to the new length.
bool rewriteInPlace(const std::string& target, const std::string& bytes)
{
    Fd fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const auto oldSize = static_cast<std::size_t>(st.st_size);
    if (bytes.size() > oldSize &&
        !writeAllAt(fd.get(), bytes.data() + oldSize, bytes.size() - oldSize,
                    static_cast<off_t>(oldSize))) {
        if (::ftruncate(fd.get(), static_cast<off_t>(oldSize)) != 0) {
        }
        return false;
    }
    return writeAllAt(fd.get(), bytes.data(), std::min(oldSize, bytes.size()), 0) &&
           ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd.get()) == 0 &&
           fd.closeChecked();
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

Result<> replaceSettingsFile(const std::string& path, const std::string& bytes,
                             const std::function<void()>& beforeRename)
{
    const std::string target = resolvedTarget(path);
    const std::string folder = folderOf(target);
    const auto cannot = [&](const char* why) {
        return Result<>::failure("The settings file " + target + " cannot be written: " + why +
                                 ".");
    };

    struct stat st {};
    const bool existed = ::stat(target.c_str(), &st) == 0;
    if (existed) {
        if (!S_ISREG(st.st_mode))
            return cannot("it is not a file");
        // Marked read-only, or not ours to write: the rename would succeed
        // in a writable folder, but the profile functions would fail.
        if ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)
            return cannot("it is read-only");
    }
    errno = 0;
    if (::access(folder.c_str(), W_OK | X_OK) == 0) {
        removeStaleTemps(folder, nameOf(target));
        // A rename would cut the file's other names off and drop its access
        // list: such a file is rewritten in place.
        if (!existed || (st.st_nlink == 1 && !hasAccessList(target))) {
            const Outcome outcome =
                replaceThroughTemp(target, existed ? &st : nullptr, bytes, beforeRename);
            if (outcome == Outcome::Replaced)
                return Result<>::success();
            if (outcome != Outcome::OwnerNotKept)
                return cannot(errno ? std::strerror(errno) : "write failed");
        }
    } else if (!existed) {
        return cannot(errno ? std::strerror(errno) : "the folder cannot be written");
    }
    // A folder we cannot write, or a file whose owner a new file could not
    // keep: in place, as the profile functions write.
    errno = 0;
    if (rewriteInPlace(target, bytes))
        return Result<>::success();
    return cannot(errno ? std::strerror(errno) : "write failed");
}

const char* nativeLineEnd()
{
    return "\n";
}

} // namespace fw
