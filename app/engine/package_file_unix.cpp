#include "engine/package_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fw {

// Opened without waiting, then checked on the open file itself: a pipe or
// device under the name can neither stall the window nor slip in between a
// check and the open.
std::FILE* FilePackageReader::openPlainFile(const std::string& path, bool& notAFile)
{
    notAFile = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        notAFile = true;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file)
        ::close(fd);
    return file;
}

std::int64_t FilePackageReader::endOffset(std::FILE* file)
{
    return static_cast<std::int64_t>(::ftello(file));
}

} // namespace fw
