// The settings file on Windows, through the system's profile functions, so
// the file is exactly what other Windows programs read and write. The file
// holds text in the system's 8-bit code page; the program's text is UTF-8 and
// is converted on the way in and out.

#include "settings/settings_store.h"

#include "base/windows_error_text.h"

#include <windows.h>

#include <algorithm>
#include <new>

namespace fw {

namespace {

// The profile functions' buffer: at most 254 characters and a NUL.
constexpr DWORD kReadBuffer = kIniValueMax + 1;

std::wstring wideFrom(UINT codePage, const std::string& text)
{
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// `exact` is cleared when a character has no form in the code page.
std::string narrowTo(UINT codePage, const std::wstring& text, bool* exact = nullptr)
{
    if (exact)
        *exact = true;
    if (text.empty())
        return {};
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL defaulted = FALSE;
    BOOL* usedDefault = codePage == CP_UTF8 ? nullptr : &defaulted;
    const int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, usedDefault);
    std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
    if (n > 0)
        WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), out.data(),
                            n, nullptr, usedDefault);
    if (exact)
        *exact = !defaulted;
    return out;
}

std::string codePageFromUtf8(const std::string& text)
{
    return narrowTo(CP_ACP, wideFrom(CP_UTF8, text));
}

std::string utf8FromCodePage(const std::string& text)
{
    return narrowTo(CP_UTF8, wideFrom(CP_ACP, text));
}

// The file's name as the profile functions take it: a full path (they look
// for a bare or relative name in the Windows folder), in the code page when
// every character has a form there, else with the folder's short name, which
// does.
std::string profilePath(const std::string& filePath)
{
    std::wstring wide = wideFrom(CP_UTF8, filePath);
    if (const DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr); n > 0) {
        std::wstring full(n, L'\0');
        const DWORD got = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
        if (got > 0 && got < n) {
            full.resize(got);
            wide = full;
        }
    }
    bool exact = true;
    std::string path = narrowTo(CP_ACP, wide, &exact);
    if (exact)
        return path;
    const auto slash = wide.find_last_of(L"\\/");
    if (slash == std::wstring::npos)
        return path;
    const std::wstring folder = wide.substr(0, slash);
    std::wstring shortFolder(MAX_PATH, L'\0');
    DWORD n = GetShortPathNameW(folder.c_str(), shortFolder.data(),
                                static_cast<DWORD>(shortFolder.size()));
    if (n >= shortFolder.size()) {
        shortFolder.resize(n);
        n = GetShortPathNameW(folder.c_str(), shortFolder.data(),
                              static_cast<DWORD>(shortFolder.size()));
    }
    if (n == 0 || n >= shortFolder.size())
        return path;
    shortFolder.resize(n);
    const std::string shortPath = narrowTo(CP_ACP, shortFolder + wide.substr(slash), &exact);
    return exact ? shortPath : path;
}

} // namespace

std::string settingsFilePath(const std::string& programDir)
{
    return programDir + "\\" + kSettingsFileName;
}

std::string readSetting(const std::string& filePath, const std::string& key)
{
    try {
        const std::string path = profilePath(filePath);
        char buffer[kReadBuffer] = {};
        const DWORD n = GetPrivateProfileStringA(kSettingsSection, key.c_str(), "", buffer,
                                                 kReadBuffer, path.c_str());
        std::string value(buffer, std::min<DWORD>(n, kReadBuffer));
        std::erase(value, '\0');
        return utf8FromCodePage(value);
    } catch (const std::bad_alloc&) {
        return {}; // as a key that is missing
    }
}

Result<> writeSetting(const std::string& filePath, const std::string& key, const std::string& value)
{
    try {
        // One line of the file: the value ends at its first line break.
        const std::string line = value.substr(0, value.find_first_of(std::string("\r\n\0", 3)));
        if (WritePrivateProfileStringA(kSettingsSection, key.c_str(),
                                       codePageFromUtf8(line).c_str(),
                                       profilePath(filePath).c_str()))
            return Result<>::success();
        const DWORD error = GetLastError();
        return Result<>::failure("The settings file " + filePath +
                                 " cannot be written: " + windowsErrorText(error) + ".");
    } catch (const std::bad_alloc&) {
        return Result<>::failure("Not enough memory to write the settings file " + filePath + ".");
    }
}

} // namespace fw
