#include "engine/package_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <new>

namespace fw {

namespace {

std::string inQuotes(const std::string& path)
{
    return "\"" + path + "\"";
}

} // namespace

Result<> FilePackageReader::open(const std::string& path)
{
    close();
    if (path.empty())
        return Result<>::failure("Cannot open the package file: no file has been chosen.");
    errno = 0;
    bool notAFile = false;
    file_ = openPlainFile(path, notAFile);
    if (notAFile)
        return Result<>::failure("Cannot open the package file " + inQuotes(path) +
                                 ": it is not a file.");
    if (!file_) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR)
            return Result<>::failure("Cannot open the package file " + inQuotes(path) +
                                     ": file not found.");
        return Result<>::failure("Cannot open the package file " + inQuotes(path) + ": " +
                                 (err ? std::strerror(err) : "unknown error") + ".");
    }
    path_ = path;
    return Result<>::success();
}

Result<> FilePackageReader::length(std::int64_t& bytes)
{
    bytes = 0;
    if (!file_)
        return Result<>::failure("Cannot read the length of the package file: it is not open.");
    // The length of the file that is open, not of whatever the name now means.
    if (std::fseek(file_, 0, SEEK_END) != 0)
        return Result<>::failure("Cannot read the length of the package file " + inQuotes(path_) +
                                 ".");
    const std::int64_t end = endOffset(file_);
    if (end < 0)
        return Result<>::failure("Cannot read the length of the package file " + inQuotes(path_) +
                                 ".");
    bytes = end;
    return Result<>::success();
}

Result<> FilePackageReader::read(std::span<std::uint8_t> into)
{
    if (!file_)
        return Result<>::failure("Cannot read the package file: it is not open.");
    if (std::fseek(file_, 0, SEEK_SET) != 0)
        return Result<>::failure("Cannot read the package file " + inQuotes(path_) + ".");
    const std::size_t got = std::fread(into.data(), 1, into.size(), file_);
    if (got != into.size())
        return Result<>::failure("Cannot read the package file " + inQuotes(path_) + ": only " +
                                 std::to_string(got) + " of " + std::to_string(into.size()) +
                                 " bytes could be read.");
    return Result<>::success();
}

void FilePackageReader::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    path_.clear();
}

std::string tooLargeText(std::int64_t bytes)
{
    return "The package file is too large (" + std::to_string(bytes) + " bytes).";
}

Result<> readWholePackage(PackageReader& reader, const std::string& path,
                          std::vector<std::uint8_t>& into)
{
    into.clear();
    Result<> r = reader.open(path);
    std::int64_t length = 0;
    if (r.ok())
        r = reader.length(length);
    if (r.ok() && length > kMaxPackageBytes)
        r = Result<>::failure(tooLargeText(length));
    else if (r.ok() && length <= 0)
        r = Result<>::failure("The package file " + inQuotes(path) + " is empty.");
    if (r.ok()) {
        try {
            into.resize(static_cast<std::size_t>(length));
            r = reader.read(into);
        } catch (const std::bad_alloc&) {
            r = Result<>::failure("Not enough memory to hold the package file (" +
                                  std::to_string(length) + " bytes).");
        }
    }
    reader.close();
    if (!r.ok())
        into.clear();
    return r;
}

std::string packageType(const std::string& fileName)
{
    std::string upper = fileName;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper.find("FONT") != std::string::npos ? "FONT" : "FIRMWARE";
}

} // namespace fw
