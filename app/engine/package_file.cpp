#include "engine/package_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "engine/wide_text.h"

#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fw {

namespace {

std::string inQuotes(const std::string& path)
{
    return "\"" + path + "\"";
}

} // namespace

Result FilePackageReader::open(const std::string& path)
{
    close();
    if (path.empty())
        return Result::failure("Cannot open the package file: no file has been chosen.");
    const auto notAFile = [&] {
        return Result::failure("Cannot open the package file " + inQuotes(path) +
                               ": it is not a file.");
    };
    errno = 0;
#ifdef _WIN32
    const std::wstring wide = wideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return notAFile();
    file_ = ::_wfopen(wide.c_str(), L"rb");
    // A device under the name (COM1, CON, a pipe) is not a package.
    if (file_ && GetFileType(reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file_)))) !=
                     FILE_TYPE_DISK) {
        std::fclose(file_);
        file_ = nullptr;
        return notAFile();
    }
#else
    // Opened without waiting, then checked on the open file itself: a pipe
    // or device under the name can neither stall the window nor slip in
    // between a check and the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return notAFile();
        }
        file_ = ::fdopen(fd, "rb");
        if (!file_)
            ::close(fd);
    }
#endif
    if (!file_) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return Result::failure("Cannot open the package file " + inQuotes(path) +
                                   ": file not found.");
        return Result::failure("Cannot open the package file " + inQuotes(path) + ": " +
                               (err ? std::strerror(err) : "unknown error") + ".");
    }
    path_ = path;
    return Result::success();
}

Result FilePackageReader::length(std::int64_t& bytes)
{
    bytes = 0;
    if (!file_)
        return Result::failure("Cannot read the length of the package file: it is not open.");
    // The length of the file that is open, not of whatever the name now means.
    if (std::fseek(file_, 0, SEEK_END) != 0)
        return Result::failure("Cannot read the length of the package file " + inQuotes(path_) +
                               ".");
#ifdef _WIN32
    const auto end = _ftelli64(file_);
#else
    const auto end = ::ftello(file_);
#endif
    if (end < 0)
        return Result::failure("Cannot read the length of the package file " + inQuotes(path_) +
                               ".");
    bytes = static_cast<std::int64_t>(end);
    return Result::success();
}

Result FilePackageReader::read(std::span<std::uint8_t> into)
{
    if (!file_)
        return Result::failure("Cannot read the package file: it is not open.");
    if (std::fseek(file_, 0, SEEK_SET) != 0)
        return Result::failure("Cannot read the package file " + inQuotes(path_) + ".");
    const std::size_t got = std::fread(into.data(), 1, into.size(), file_);
    if (got != into.size())
        return Result::failure("Cannot read the package file " + inQuotes(path_) + ": only " +
                               std::to_string(got) + " of " + std::to_string(into.size()) +
                               " bytes could be read.");
    return Result::success();
}

void FilePackageReader::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    path_.clear();
}

std::string packageType(const std::string& fileName)
{
    std::string upper = fileName;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find("FONT") != std::string::npos ? "FONT" : "FIRMWARE";
}

} // namespace fw
