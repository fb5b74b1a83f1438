#include "cli/printer_hold.h"

#include "base/wide_text.h"

#include <windows.h>

#include <cwctype>

namespace fw {

struct PrinterHold::File {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~File()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

namespace {

// Shared by every user of the computer: under ProgramData, else the
// user's temporary folder.
std::wstring holdsFolder()
{
    wchar_t base[MAX_PATH + 1] = {};
    DWORD n = GetEnvironmentVariableW(L"ProgramData", base, MAX_PATH + 1);
    std::wstring dir;
    if (n > 0 && n <= MAX_PATH) {
        dir = std::wstring(base, n) + L"\\firmware-cli";
        CreateDirectoryW(dir.c_str(), nullptr);
        dir += L"\\printers";
        if (CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS)
            return dir;
    }
    n = GetTempPathW(MAX_PATH + 1, base);
    dir = std::wstring(base, n) + L"firmware-cli-printers";
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Who holds it, as the holder wrote it.
std::string holderOf(const std::wstring& path)
{
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {};
    char holder[32] = {};
    DWORD n = 0;
    if (!ReadFile(h, holder, sizeof holder - 1, &n, nullptr))
        n = 0;
    CloseHandle(h);
    return std::string(holder, n);
}

} // namespace

Result<std::unique_ptr<PrinterHold>> PrinterHold::take(const std::string& key)
{
    const std::string name = holdFileName(key);
    const std::wstring path = holdsFolder() + L"\\" + wideFromUtf8(name);
    auto file = std::make_unique<File>();
    // Others may read who holds it, never write it while it is held.
    file->handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file->handle == INVALID_HANDLE_VALUE) {
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            return std::unique_ptr<PrinterHold>(new PrinterHold(nullptr));
        const std::string pid = holderOf(path);
        return Result<std::unique_ptr<PrinterHold>>::failure(
            "another firmware-cli station is flashing this printer" +
            (pid.empty() ? std::string() : " (process " + pid + ")"));
    }
    const std::string pid = std::to_string(GetCurrentProcessId());
    DWORD written = 0;
    SetEndOfFile(file->handle);
    WriteFile(file->handle, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
    FlushFileBuffers(file->handle);
    return std::unique_ptr<PrinterHold>(new PrinterHold(std::move(file)));
}

PrinterHold::PrinterHold(std::unique_ptr<File> file) : file_(std::move(file)) {}

PrinterHold::~PrinterHold() = default;

std::string sameDeviceName(const std::string& device)
{
    std::wstring name = wideFromUtf8(device);
    if (name.rfind(L"\\\\.\\", 0) == 0)
        name.erase(0, 4);
    for (wchar_t& c : name)
        c = static_cast<wchar_t>(std::towupper(c));
    return utf8FromWide(name);
}

} // namespace fw
