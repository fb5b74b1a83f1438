#pragma once
// A headless model of the window for tests: every control of Form1 with the
// state the logic can see, handlers run like the real window's, and message
// boxes and the file dialog answered from scripts.

#include "form/toolkit.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fw::test {

struct ShownBox {
    std::string text;
    bool exclamation = false;
    std::string title; // as passed: empty means the program's title
    Pointer pointerWhenShown = Pointer::Normal;
};

class FakeToolkit : public Toolkit {
public:
    FakeToolkit();

    // --- Toolkit ---
    void setEvents(ToolkitEvents* events) override { events_ = events; }
    void setEnabled(Ctl c, bool enabled) override { ctl(c).enabled = enabled; }
    bool isEnabled(Ctl c) const override { return ctl(c).enabled; }
    void setVisible(Ctl c, bool visible) override { ctl(c).visible = visible; }
    bool isVisible(Ctl c) const override { return ctl(c).visible; }
    std::optional<Ctl> focus() const override { return focus_; }
    void setFocus(Ctl c) override { focus_ = c; }
    bool isSelected(Ctl option) const override { return ctl(option).selected; }
    void select(Ctl option) override;
    void clearList(Ctl list) override;
    void addItem(Ctl list, const std::string& text) override;
    int itemCount(Ctl list) const override { return static_cast<int>(ctl(list).items.size()); }
    int listIndex(Ctl list) const override { return ctl(list).index; }
    void setListIndex(Ctl list, int index) override;
    std::string listText(Ctl list) const override;
    std::string itemText(Ctl list, int index) const override;
    void setItemToolTip(Ctl list, int index, const std::string& tip) override;
    std::string text(Ctl c) const override { return ctl(c).text; }
    void setText(Ctl c, const std::string& text) override { ctl(c).text = text; }
    void setBackColour(Ctl button, std::uint32_t bgr) override { ctl(button).colour = bgr; }
    std::uint32_t backColour(Ctl button) const override { return ctl(button).colour; }
    void setPointer(Pointer p) override { pointer_ = p; }
    Pointer pointer() const override { return pointer_; }
    void processEvents() override;
    void showProgressShare(double) override {}
    void processWindowRequests() override;
    void closeWindow() override { closed = true; }
    void messageBox(const std::string& text, bool exclamation, const std::string& title) override;
    OpenDialogResult showOpenDialog(const OpenDialogSetup& setup) override;

    // --- scripting and inspection ---
    struct Control {
        bool enabled = true;
        bool visible = true;
        bool selected = false;
        std::string text;
        std::uint32_t colour = 0;
        std::vector<std::string> items;
        std::vector<std::string> tips;
        int index = -1;
    };
    Control& ctl(Ctl c) { return controls_[c]; }
    const Control& ctl(Ctl c) const;

    // Answers for the next file dialogs, in order; an empty fileName cancels.
    // With none queued the dialog is cancelled.
    std::deque<OpenDialogResult> dialogAnswers;
    std::vector<OpenDialogSetup> dialogsShown;
    std::vector<ShownBox> boxes;
    std::vector<std::string> boxTexts() const;
    int processEventsCalls = 0;
    // Runs inside processEvents(), as a user's click between records would.
    std::function<void()> onProcessEvents;
    int processWindowRequestsCalls = 0;
    // Runs inside processWindowRequests(), as a close of the window asked
    // for while the session waited would.
    std::function<void()> onProcessWindowRequests;
    // Runs inside messageBox(), before it returns.
    std::function<void(const ShownBox&)> onMessageBox;
    bool closed = false;

private:
    ToolkitEvents* events_ = nullptr;
    std::map<Ctl, Control> controls_;
    std::optional<Ctl> focus_;
    Pointer pointer_ = Pointer::Normal;
};

} // namespace fw::test
