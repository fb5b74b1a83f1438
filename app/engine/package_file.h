#pragma once
// The package file as the session reads it: open, length, one whole read,
// close. Every failure comes back with the words to show the user.

#include "base/result.h"

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace fw {

// The type shown for a package, from its file name alone: "FONT" when the
// name holds those four letters in any case, else "FIRMWARE".
std::string packageType(const std::string& fileName);

// The largest package a session holds: its offsets are signed 32-bit.
inline constexpr std::int64_t kMaxPackageBytes = 0x7FFFFFFF;
// The report for a package above that size.
std::string tooLargeText(std::int64_t bytes);

class PackageReader;

// The whole package through `reader`, as a session reads it: the same
// checks (not a plain file, too large, empty: "the package file is empty").
// `into` is empty on failure; the file is closed in every case.
Result<> readWholePackage(PackageReader& reader, const std::string& path,
                          std::vector<std::uint8_t>& into);

class PackageReader {
public:
    virtual ~PackageReader() = default;
    virtual Result<> open(const std::string& path) = 0;
    // Fails when no file is open.
    virtual Result<> length(std::int64_t& bytes) = 0;
    // Reads `into.size()` bytes from the file's start.
    virtual Result<> read(std::span<std::uint8_t> into) = 0;
    virtual void close() = 0;
};

// The package on disk.
class FilePackageReader final : public PackageReader {
public:
    FilePackageReader() = default;
    FilePackageReader(const FilePackageReader&) = delete;
    FilePackageReader& operator=(const FilePackageReader&) = delete;
    ~FilePackageReader() override { close(); }

    Result<> open(const std::string& path) override;
    Result<> length(std::int64_t& bytes) override;
    Result<> read(std::span<std::uint8_t> into) override;
    void close() override;

private:
    // Per platform: the file under `path` opened for reading when it is a
    // plain file; nullptr with errno set, or with `notAFile` when a folder,
    // pipe or device has the name.
    static std::FILE* openPlainFile(const std::string& path, bool& notAFile);
    // The position of the end of `file`, after a seek there; negative on failure.
    static std::int64_t endOffset(std::FILE* file);

    std::FILE* file_ = nullptr;
    std::string path_;
};

} // namespace fw
