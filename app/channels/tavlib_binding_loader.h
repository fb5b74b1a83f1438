#pragma once
// Loading a shared library by name and finding its exports: the platform part
// of the TAVLIB binding.

#include "base/result.h"

#include <string>

namespace fw::detail {

// Tries `folder`/`fileName` first, then `fileName` on the system's search
// path; gives its handle, or the reason it could not be loaded.
Result<void*> loadLibrary(const std::string& folder, const std::string& fileName);
// The export's address; a missing export is a failure.
Result<void*> findExport(void* library, const char* name);
void unloadLibrary(void* library);
// The library's file name on this platform: libTAVLIB.so or TAVLIB.dll.
const char* libraryFileName();

} // namespace fw::detail
