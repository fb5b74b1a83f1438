#include "cli/printer_hold.h"

#include <cerrno>
#include <filesystem>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

struct PrinterHold::File {
    int fd = -1;
    ~File()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

namespace fs = std::filesystem;

// Shared by every user and every environment (not $TMPDIR), as /tmp is:
// whoever comes first makes it.
fs::path holdsFolder()
{
    const fs::path dir = "/tmp/firmware-cli-printers";
    if (::mkdir(dir.c_str(), 01777) == 0)
        ::chmod(dir.c_str(), 01777); // past the umask
    return dir;
}

} // namespace

Result<std::unique_ptr<PrinterHold>> PrinterHold::take(const std::string& key)
{
    const std::string name = holdFileName(key);
    const fs::path path = holdsFolder() / name;
    auto file = std::make_unique<File>();
    file->fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (file->fd < 0)
        return std::unique_ptr<PrinterHold>(new PrinterHold(nullptr));
    ::fchmod(file->fd, 0666); // other users' stations take turns on it too
    if (::flock(file->fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            return std::unique_ptr<PrinterHold>(new PrinterHold(nullptr));
        char holder[32] = {};
        const ssize_t n = ::pread(file->fd, holder, sizeof holder - 1, 0);
        const std::string pid(holder, n > 0 ? static_cast<std::size_t>(n) : 0);
        return Result<std::unique_ptr<PrinterHold>>::failure(
            "another firmware-cli station is flashing this printer" +
            (pid.empty() ? std::string() : " (process " + pid + ")"));
    }
    const std::string pid = std::to_string(::getpid());
    if (::ftruncate(file->fd, 0) == 0)
        (void)!::pwrite(file->fd, pid.data(), pid.size(), 0);
    return std::unique_ptr<PrinterHold>(new PrinterHold(std::move(file)));
}

PrinterHold::PrinterHold(std::unique_ptr<File> file) : file_(std::move(file)) {}

PrinterHold::~PrinterHold() = default;

std::string sameDeviceName(const std::string& device)
{
    std::error_code ec;
    const fs::path real = fs::canonical(device, ec);
    return ec ? device : real.string();
}

} // namespace fw
