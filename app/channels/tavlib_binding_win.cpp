#include "channels/tavlib_binding_loader.h"

#include "channels/windows_error_text.h"

#include <windows.h>

namespace fw::detail {

const char* libraryFileName() { return "TAVLIB.dll"; }

void* loadLibrary(const std::string& folder, const std::string& fileName, std::string& why) {
    if (!folder.empty()) {
        const std::string beside = folder + "\\" + fileName;
        if (HMODULE h = LoadLibraryA(beside.c_str())) return reinterpret_cast<void*>(h);
    }
    if (HMODULE h = LoadLibraryA(fileName.c_str())) return reinterpret_cast<void*>(h);
    const DWORD code = GetLastError();
    why = windowsErrorText(code);
    return nullptr;
}

void* findExport(void* library, const char* name, std::string& why) {
    FARPROC f = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (!f) {
        const DWORD code = GetLastError();
        why = windowsErrorText(code);
        return nullptr;
    }
    return reinterpret_cast<void*>(f);
}

void unloadLibrary(void* library) {
    if (library) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

} // namespace fw::detail
