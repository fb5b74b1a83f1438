#pragma once
// Driving Win32 windows as a user would, from the same process (another
// thread) or from another process in the same Wine prefix: finding the
// window, its dialogs and message boxes, typing a file name, pressing
// buttons, reading captions.

#include <windows.h>

#include <string>

namespace fw::test {

std::wstring windowText(HWND w);
std::wstring className(HWND w);

// The first visible top-level window of `process` (0: any) with class
// `cls` and a title, waited for up to `timeoutMs`; nullptr when none came.
HWND waitForWindow(DWORD process, const wchar_t* cls, int timeoutMs);
// A dialog (message box, open dialog) of `process` shown after `notThis`.
HWND waitForDialog(DWORD process, int timeoutMs, HWND notThis = nullptr);
// A dialog that `owner` shows now (a message box over an open dialog).
HWND ownedDialog(HWND owner);
// Waits until `w` is gone; false when it stayed.
bool waitForClose(HWND w, int timeoutMs);

// The text of a message box; empty for another dialog.
std::wstring messageBoxText(HWND box);
// Presses a dialog's button `id` (IDOK, IDCANCEL) as a click would.
void press(HWND dialog, int id);

// Waits until an open dialog shows its folder; false when it did not.
bool waitForOpenDialogReady(HWND dialog, int timeoutMs);
// Types `name` into an open dialog's file name box.
void typeFileName(HWND dialog, const std::wstring& name);
// The file name box's text and the folder the dialog shows.
std::wstring typedFileName(HWND dialog);
std::wstring dialogFolder(HWND dialog);

} // namespace fw::test
