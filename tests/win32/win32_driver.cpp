#include "win32_driver.h"

#include <commdlg.h>
#include <dlgs.h>

#include <vector>

namespace fw::test {

namespace {

struct Search {
    DWORD process;
    const wchar_t* cls;
    HWND notThis;
    HWND found;
};

BOOL CALLBACK match(HWND w, LPARAM p)
{
    auto* s = reinterpret_cast<Search*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if ((s->process && pid != s->process) || !IsWindowVisible(w) || w == s->notThis)
        return TRUE;
    if (className(w) != s->cls ||
        GetWindowTextLengthW(w) == 0) // a dialog gets its title once set up
        return TRUE;
    s->found = w;
    return FALSE;
}

HWND waitFor(DWORD process, const wchar_t* cls, HWND notThis, int timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    do {
        Search s{process, cls, notThis, nullptr};
        EnumWindows(match, reinterpret_cast<LPARAM>(&s));
        if (s.found)
            return s.found;
        Sleep(20);
    } while (GetTickCount64() < until);
    return nullptr;
}

// The file name box: a combo box with an edit in newer dialogs, an edit in
// older ones.
HWND fileNameBox(HWND dialog)
{
    if (HWND combo = GetDlgItem(dialog, cmb13))
        return combo;
    return GetDlgItem(dialog, edt1);
}

} // namespace

std::wstring windowText(HWND w)
{
    wchar_t buf[1024] = {};
    SendMessageTimeoutW(w, WM_GETTEXT, std::size(buf), reinterpret_cast<LPARAM>(buf),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

std::wstring className(HWND w)
{
    wchar_t buf[256] = {};
    GetClassNameW(w, buf, 256);
    return buf;
}

HWND waitForWindow(DWORD process, const wchar_t* cls, int timeoutMs)
{
    return waitFor(process, cls, nullptr, timeoutMs);
}

HWND waitForDialog(DWORD process, int timeoutMs, HWND notThis)
{
    return waitFor(process, L"#32770", notThis, timeoutMs);
}

HWND ownedDialog(HWND owner)
{
    for (HWND w = GetWindow(GetDesktopWindow(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT))
        if (GetWindow(w, GW_OWNER) == owner && IsWindowVisible(w) && className(w) == L"#32770")
            return w;
    return nullptr;
}

bool waitForClose(HWND w, int timeoutMs)
{
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (IsWindow(w) && IsWindowVisible(w)) {
        if (GetTickCount64() >= until)
            return false;
        Sleep(20);
    }
    return true;
}

std::wstring messageBoxText(HWND box)
{
    // The text of a message box is the static control 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? windowText(text) : std::wstring();
}

void press(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

bool waitForOpenDialogReady(HWND dialog, int timeoutMs)
{
    // Its folder view is a child window of its own once filled.
    const ULONGLONG until = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
    while (!FindWindowExW(dialog, nullptr, L"SHELLDLL_DefView", nullptr) || !fileNameBox(dialog)) {
        if (GetTickCount64() >= until)
            return false;
        Sleep(20);
    }
    return true;
}

void typeFileName(HWND dialog, const std::wstring& name)
{
    HWND box = fileNameBox(dialog);
    SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str()),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
}

std::wstring typedFileName(HWND dialog)
{
    HWND box = fileNameBox(dialog);
    return box ? windowText(box) : std::wstring();
}

std::wstring dialogFolder(HWND dialog)
{
    std::vector<wchar_t> buf(MAX_PATH * 2, L'\0');
    DWORD_PTR n = 0;
    SendMessageTimeoutW(dialog, CDM_GETFOLDERPATH, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                        SMTO_ABORTIFHUNG, 5000, &n);
    return buf.data();
}

} // namespace fw::test
