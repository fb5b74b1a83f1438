#include "engine/package_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

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
    errno = 0;
    bool notAFile = false;
    file_ = openPlainFile(path, notAFile);
    if (notAFile)
        return Result::failure("Cannot open the package file " + inQuotes(path) +
                               ": it is not a file.");
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
    const std::int64_t end = endOffset(file_);
    if (end < 0)
        return Result::failure("Cannot read the length of the package file " + inQuotes(path_) +
                               ".");
    bytes = end;
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
