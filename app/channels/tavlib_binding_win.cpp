#include "channels/tavlib_binding_loader.h"

#include "base/windows_error_text.h"

#include <windows.h>

namespace fw::detail {

const char* libraryFileName()
{
    return "TAVLIB.dll";
}

// The folder's name is UTF-8: it goes to the system as UTF-16, so a program
// folder outside the 8-bit code page still finds its library.
Result<void*> loadLibrary(const std::string& folder, const std::string& fileName)
{
    HMODULE h = nullptr;
    DWORD besideCode = ERROR_MOD_NOT_FOUND;
    if (!folder.empty()) {
        const std::wstring beside = wideFromUtf8(folder + "\\" + fileName);
        // Whatever the library needs is looked for beside it, too.
        h = LoadLibraryExW(beside.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!h)
            besideCode = GetLastError();
    }
    if (!h)
        h = LoadLibraryW(wideFromUtf8(fileName).c_str());
    if (h)
        return reinterpret_cast<void*>(h);
    // A library beside the program that fails to load says more than "not
    // found on the search path".
    DWORD code = GetLastError();
    if (besideCode != ERROR_MOD_NOT_FOUND && besideCode != ERROR_FILE_NOT_FOUND &&
        besideCode != ERROR_PATH_NOT_FOUND)
        code = besideCode;
    return Result<void*>::failure(windowsErrorText(code));
}

Result<void*> findExport(void* library, const char* name)
{
    if (FARPROC f = GetProcAddress(reinterpret_cast<HMODULE>(library), name))
        return reinterpret_cast<void*>(f);
    const DWORD code = GetLastError();
    return Result<void*>::failure(windowsErrorText(code));
}

void unloadLibrary(void* library)
{
    if (library)
        FreeLibrary(reinterpret_cast<HMODULE>(library));
}

} // namespace fw::detail
