#pragma once
// Loading a shared library by name and finding its exports: the platform part
// of the TAVLIB binding.

#include <string>

namespace fw::detail {

// Tries `folder`/`fileName` first, then `fileName` on the system's search
// path. Gives the handle, or nullptr with the reason in `why`.
void* loadLibrary(const std::string& folder, const std::string& fileName, std::string& why);
// nullptr with the reason in `why` when the export is missing.
void* findExport(void* library, const char* name, std::string& why);
void unloadLibrary(void* library);
// The library's file name on this platform: libTAVLIB.so or TAVLIB.dll.
const char* libraryFileName();

} // namespace fw::detail
