#pragma once
// Whole-file reading and replacing for the settings file. Replacing goes
// through a temporary file in the same folder that is flushed to disk and
// then renamed over the old file, so a crash or a full disk at any moment
// leaves either the old file or the new one, whole.

#include <cstddef>
#include <functional>
#include <string>

namespace fw {

// Settings files larger than this are read only up to it and never
// rewritten, so a stray huge file can neither exhaust memory nor be cut.
inline constexpr std::size_t kSettingsFileLimit = 1u << 20;

struct SettingsFileRead {
    bool exists = false;   // something is there under the name
    bool complete = false; // `bytes` is the whole file
    std::string bytes;     // what could be read
};

// Reads the file. A file that exists but cannot be read whole (no
// permission, not a regular file, a read error, over the limit) gives what
// could be read and complete = false: it must not be rewritten from that.
SettingsFileRead readSettingsFile(const std::string& path);

// Replaces the file at `path` with `bytes`. False, with the old file left as
// it was, when the folder or the file cannot be written, the file is marked
// read-only (no write permission for anyone, which also holds for root), or
// the disk is full. `beforeRename` runs when the new contents are safely on
// disk under the temporary name, just before the rename; tests use it to
// stop the process at the worst moment.
bool replaceSettingsFile(const std::string& path, const std::string& bytes,
                         const std::function<void()>& beforeRename = {});

// The line end new settings files get on this platform.
const char* nativeLineEnd();

} // namespace fw
