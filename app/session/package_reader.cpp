#include "session/package_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fw {

namespace {

std::string inQuotes(const std::string& path) { return "\"" + path + "\""; }

} // namespace

FileStep FilePackageReader::open(const std::string& path)
{
    close();
    if (path.empty())
        return FileStep::failure("Cannot open the package file: no file has been chosen.");
    std::error_code ec;
    const auto status = std::filesystem::status(std::filesystem::path(path), ec);
    if (ec || !std::filesystem::exists(status))
        return FileStep::failure("Cannot open the package file " + inQuotes(path) +
                                 ": file not found.");
    if (!std::filesystem::is_regular_file(status))
        return FileStep::failure("Cannot open the package file " + inQuotes(path) +
                                 ": it is not a file.");
    errno = 0;
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) {
        const int err = errno;
        return FileStep::failure("Cannot open the package file " + inQuotes(path) + ": " +
                                 (err ? std::strerror(err) : "unknown error") + ".");
    }
    path_ = path;
    return FileStep::success();
}

FileStep FilePackageReader::length(std::int64_t& bytes)
{
    bytes = 0;
    if (!file_)
        return FileStep::failure("Cannot read the length of the package file: it is not open.");
    std::error_code ec;
    const auto size = std::filesystem::file_size(std::filesystem::path(path_), ec);
    if (ec)
        return FileStep::failure("Cannot read the length of the package file " + inQuotes(path_) +
                                 ": " + ec.message() + ".");
    bytes = static_cast<std::int64_t>(size);
    return FileStep::success();
}

FileStep FilePackageReader::read(std::span<std::uint8_t> into)
{
    if (!file_)
        return FileStep::failure("Cannot read the package file: it is not open.");
    if (std::fseek(file_, 0, SEEK_SET) != 0)
        return FileStep::failure("Cannot read the package file " + inQuotes(path_) + ".");
    const std::size_t got = std::fread(into.data(), 1, into.size(), file_);
    if (got != into.size())
        return FileStep::failure("Cannot read the package file " + inQuotes(path_) + ": only " +
                                 std::to_string(got) + " of " + std::to_string(into.size()) +
                                 " bytes could be read.");
    return FileStep::success();
}

void FilePackageReader::close()
{
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    path_.clear();
}

} // namespace fw
