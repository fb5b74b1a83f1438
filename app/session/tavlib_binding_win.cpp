#include "session/tavlib_binding_loader.h"

#include <windows.h>

namespace fw::detail {

namespace {

std::string systemText(DWORD code) {
    char* text = nullptr;
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string out = n && text ? std::string(text, n) : "error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) out.pop_back();
    return out;
}

} // namespace

const char* libraryFileName() { return "TAVLIB.dll"; }

void* loadLibrary(const std::string& folder, const std::string& fileName, std::string& why) {
    if (!folder.empty()) {
        const std::string beside = folder + "\\" + fileName;
        if (HMODULE h = LoadLibraryA(beside.c_str())) return reinterpret_cast<void*>(h);
    }
    if (HMODULE h = LoadLibraryA(fileName.c_str())) return reinterpret_cast<void*>(h);
    const DWORD code = GetLastError();
    why = systemText(code);
    return nullptr;
}

void* findExport(void* library, const char* name, std::string& why) {
    FARPROC f = GetProcAddress(reinterpret_cast<HMODULE>(library), name);
    if (!f) {
        const DWORD code = GetLastError();
        why = systemText(code);
        return nullptr;
    }
    return reinterpret_cast<void*>(f);
}

void unloadLibrary(void* library) {
    if (library) FreeLibrary(reinterpret_cast<HMODULE>(library));
}

} // namespace fw::detail
