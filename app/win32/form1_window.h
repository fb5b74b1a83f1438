#pragma once
// Form1 on Win32: the program's one window. It creates the controls from the
// layout table generated from the stored design, realises the toolkit on
// them and runs the form's handlers when the user acts.

#include "engine/session.h"
#include "form/form.h"
#include "win32/win32_toolkit.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace fw {

class UsbLibrary;

class Form1Window {
public:
    // `programDir` is the folder that holds the program file; `usb`,
    // `channels` and `clock` outlive the window. Creates the window, hidden.
    Form1Window(HINSTANCE instance, const std::string& programDir, UsbLibrary& usb,
                ChannelSet& channels, Clock& clock);
    ~Form1Window();
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;

    // False when the window could not be created.
    bool created() const { return handles_.window != nullptr; }

    // Fills the lists, restores the settings and selects the interface;
    // the caller shows the window afterwards.
    void startUp();
    void show(int showCommand);
    // The message loop, until the window is gone; the program's exit code.
    int run();

    HWND hwnd() const { return handles_.window; }
    const Form1Handles& handles() const { return handles_; }
    Win32Toolkit& toolkit() { return *toolkit_; }
    Form& form() { return *form_; }

private:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT msg, WPARAM wParam, LPARAM lParam);
    void createControls(HINSTANCE instance);
    void createMenu();
    HFONT font(const char* family, int points, bool bold);
    void command(int id, int code);
    void close();
    void releaseDevices();

    Form1Handles handles_;
    std::unique_ptr<Win32Toolkit> toolkit_;
    ChannelSet& channels_;
    DownloadSession session_;
    std::unique_ptr<Form> form_;
    std::map<std::tuple<std::string, int, bool>, HFONT> fonts_;
    std::map<std::string, HBITMAP> pictures_;
    HWND lastFocus_ = nullptr;
};

} // namespace fw
