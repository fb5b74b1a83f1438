#pragma once
// The toolkit services realised on the Win32 controls of Form1.

#include "form/toolkit.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace fw {

// The window's handles, as the window created them from the layout table.
struct Form1Handles {
    HWND window = nullptr;
    HMENU menuBar = nullptr;
    HACCEL accelerators = nullptr;
    std::vector<HWND> controls; // by position in the layout table
};

// Control and menu command identifiers: the layout table's position above a base.
inline constexpr int kControlIdBase = 1000;
inline constexpr int kMenuIdBase = 2000;

// The position of a control in the layout table, or -1.
int layoutIndex(const char* name);
// The position of a menu entry in the layout's menu table, or -1.
int menuIndex(const char* name);

class Win32Toolkit final : public Toolkit {
public:
    explicit Win32Toolkit(const Form1Handles& handles);
    ~Win32Toolkit() override;
    Win32Toolkit(const Win32Toolkit&) = delete;
    Win32Toolkit& operator=(const Win32Toolkit&) = delete;

    void setEvents(ToolkitEvents* events) override { events_ = events; }
    void setEnabled(Ctl c, bool enabled) override;
    bool isEnabled(Ctl c) const override;
    void setVisible(Ctl c, bool visible) override;
    bool isVisible(Ctl c) const override;
    std::optional<Ctl> focus() const override;
    void setFocus(Ctl c) override;
    bool isSelected(Ctl option) const override;
    void select(Ctl option) override;
    void clearList(Ctl list) override;
    void addItem(Ctl list, const std::string& text) override;
    int itemCount(Ctl list) const override;
    int listIndex(Ctl list) const override;
    void setListIndex(Ctl list, int index) override;
    std::string listText(Ctl list) const override;
    std::string itemText(Ctl list, int index) const override;
    void setItemToolTip(Ctl list, int index, const std::string& tip) override;
    std::string text(Ctl c) const override;
    void setText(Ctl c, const std::string& text) override;
    void setBackColour(Ctl button, std::uint32_t bgr) override;
    std::uint32_t backColour(Ctl button) const override;
    void setPointer(Pointer p) override;
    Pointer pointer() const override { return pointer_; }
    void processEvents() override;
    void processWindowRequests() override;
    void closeWindow() override;
    void messageBox(const std::string& text, bool exclamation, const std::string& title) override;
    OpenDialogResult showOpenDialog(const OpenDialogSetup& setup) override;

    // The control's window; nullptr for the menu entries.
    HWND handle(Ctl c) const;
    // The control `id` reports in WM_COMMAND, as a Ctl; false for others.
    bool controlOf(int id, Ctl& c) const;

    // What the window procedure hands over from the controls.
    void userClicked(Ctl option); // an option button picked by the user
    void userPicked(Ctl list);    // a list entry picked by the user
    bool drawButton(const DRAWITEMSTRUCT& item);
    bool setCursor(HWND over, int hitTest);
    std::wstring toolTipFor(HWND list) const;
    // Delivers one message the way the window's own loop does.
    static void dispatch(const Form1Handles& handles, MSG& msg);

private:
    int menuCommand(Ctl c) const; // the menu command, or -1 for controls
    void showProgressShare(double share) override;
    void tabToSelectedOption();
    void fitCounter();

    const Form1Handles& h_;
    ToolkitEvents* events_ = nullptr;
    Pointer pointer_ = Pointer::Normal;
    std::map<HWND, std::uint32_t> colours_;
    std::map<HWND, std::vector<std::wstring>> tips_;
    HWND toolTip_ = nullptr;
    int counterRight_ = 0;  // Label3 grows to the left from here
    std::wstring lastFile_; // full name of the open dialog's last use
};

} // namespace fw
