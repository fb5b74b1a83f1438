#pragma once
// Loading a shared library by name and finding its exports: the platform part
// of the TAVLIB binding.

#include "engine/result.h"

#include <string>

namespace fw::detail {

// Tries `folder`/`fileName` first, then `fileName` on the system's search
// path; on success `library` is its handle. A failure gives the reason.
Result loadLibrary(const std::string& folder, const std::string& fileName, void*& library);
// On success `address` is the export's; a missing export is a failure.
Result findExport(void* library, const char* name, void*& address);
void unloadLibrary(void* library);
// The library's file name on this platform: libTAVLIB.so or TAVLIB.dll.
const char* libraryFileName();

} // namespace fw::detail
