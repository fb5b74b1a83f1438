#pragma once
// Whole-file reading and replacing for the settings file. Where the folder
// allows it and the file's owner, group and mode can be kept, replacing goes
// through a temporary file in the same folder that is flushed to disk and
// then renamed over the old file, so a crash or a full disk at any moment
// leaves either the old file or the new one, whole. Otherwise the file is
// rewritten in place, as the profile functions do, so that a writable file
// in a read-only folder is still updated and a file shared by a group keeps
// its owner.

#include "base/result.h"

#include <cstddef>
#include <functional>
#include <string>

namespace fw {

// Settings files larger than this are read only up to it and never
// rewritten, so a stray huge file can neither exhaust memory nor be cut.
inline constexpr std::size_t kSettingsFileLimit = 1u << 20;

// Temporary files are named after the file they replace, followed by this
// and six random characters. One left behind by a crash is removed at the
// next save.
inline constexpr const char* kSettingsTempInfix = ".tmp-";

struct SettingsFileRead {
    bool exists = false;   // something is there under the name
    bool complete = false; // `bytes` is the whole file
    std::string bytes;     // what could be read
};

// Reads the file. A file that exists but cannot be read whole (no
// permission, not a regular file, a read error, over the limit) gives what
// could be read and complete = false: it must not be rewritten from that.
SettingsFileRead readSettingsFile(const std::string& path);

// Replaces the file at `path` with `bytes`. A failure, with the old file
// left as it was, when the file cannot be written (nor created, for a new one), the
// file is marked read-only (no write permission for anyone, which also holds
// for root), or the disk is full. `beforeRename` runs when the new contents
// are safely on disk under the temporary name, just before the rename; tests
// use it to stop the process at the worst moment. A file rewritten in place
// never reaches it.
Result<> replaceSettingsFile(const std::string& path, const std::string& bytes,
                             const std::function<void()>& beforeRename = {});

// The line end new settings files get on this platform.
const char* nativeLineEnd();

} // namespace fw
