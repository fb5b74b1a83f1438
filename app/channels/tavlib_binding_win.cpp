#include "channels/tavlib_binding_loader.h"

#include "channels/windows_error_text.h"

#include <windows.h>

namespace fw::detail {

const char* libraryFileName() { return "TAVLIB.dll"; }

Result loadLibrary(const std::string& folder, const std::string& fileName, void*& library) {
    HMODULE h = nullptr;
    if (!folder.empty()) {
        const std::string beside = folder + "\\" + fileName;
        h = LoadLibraryA(beside.c_str());
    }
    if (!h) h = LoadLibraryA(fileName.c_str());
    library = reinterpret_cast<void*>(h);
    if (h) return Result::success();
    const DWORD code = GetLastError();
    return Result::failure(windowsErrorText(code));
}

Result findExport(void* library, const char* name, void*& address) {
    FARPROC f = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    address = reinterpret_cast<void*>(f);
    if (f) return Result::success();
    const DWORD code = GetLastError();
    return Result::failure(windowsErrorText(code));
}

void unloadLibrary(void* library) {
    if (library) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

} // namespace fw::detail
