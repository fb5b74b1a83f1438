#pragma once
// The window toolkit as the program's logic sees it: the one window, its
// controls by name, message boxes and the file-open dialog. The Qt window
// realises it; tests drive the logic through a headless model of it.

#include <cstdint>
#include <optional>
#include <string>

namespace fw {

// Every control the logic addresses, named as stored with the window.
enum class Ctl {
    OptSerial,
    OptUSB,
    OptEthernet,
    cboPORT,
    CboUSB,
    cboBaudRate,
    cboBitLength,
    cboParity,
    cboStopBit,
    cboHandShake,
    TextEthernet,
    FrameSerial,
    FrameUSB,
    FrameEthernet,
    cmdSTART,
    cmdCancel,
    cmdClose,
    ProgressBar,
    Label3,
    lblFileType,
    lblFileName,
    lblSize,
    mnuFile,
    mnuFileOpen,
    mnuFileExit,
};

enum class Pointer { Normal, Hourglass };

// Colours in the 0x00BBGGRR form.
constexpr std::uint32_t kStartColourInitial = 0x8080FF; // red 255, green 128, blue 128
constexpr std::uint32_t kStartColourArmed = 0x80FF80;   // red 128, green 255, blue 128

// The program's title, carried by message boxes without a title of their own.
inline constexpr const char* kProgramTitle = "Firmware Downloader";

// Windows open-dialog flags the Open step sets.
constexpr unsigned kOfnReadOnly = 0x1;
constexpr unsigned kOfnHideReadOnly = 0x4;
constexpr unsigned kOfnPathMustExist = 0x800;

struct OpenDialogSetup {
    unsigned flags = 0;
    std::string title;
    std::string initialDir;
    std::string filter; // "Description|pattern"
};

struct OpenDialogResult {
    std::string fileName;  // full path; empty when the user cancelled
    std::string fileTitle; // the name without its folder
};

// Handlers the toolkit runs when an option button or a list entry is
// selected, by the user or by the program.
class ToolkitEvents {
public:
    virtual ~ToolkitEvents() = default;
    virtual void optionClicked(Ctl option) = 0;
    virtual void listClicked(Ctl list) = 0;
};

class Toolkit {
public:
    virtual ~Toolkit() = default;

    virtual void setEvents(ToolkitEvents* events) = 0;

    // any control
    virtual void setEnabled(Ctl c, bool enabled) = 0;
    virtual bool isEnabled(Ctl c) const = 0;
    virtual void setVisible(Ctl c, bool visible) = 0;
    virtual bool isVisible(Ctl c) const = 0;
    // the keyboard focus: the control of the window that has it, if any;
    // setFocus() gives it to a control that can take it (enabled and shown)
    virtual std::optional<Ctl> focus() const = 0;
    virtual void setFocus(Ctl c) = 0;

    // option buttons; select() runs the option's click handler
    virtual bool isSelected(Ctl option) const = 0;
    virtual void select(Ctl option) = 0;

    // drop-down lists; setListIndex() runs the list's click handler
    virtual void clearList(Ctl list) = 0;
    virtual void addItem(Ctl list, const std::string& text) = 0;
    virtual int itemCount(Ctl list) const = 0;
    virtual int listIndex(Ctl list) const = 0; // -1 for none
    virtual void setListIndex(Ctl list, int index) = 0;
    virtual std::string listText(Ctl list) const = 0; // text of the selected entry
    virtual std::string itemText(Ctl list, int index) const = 0;
    virtual void setItemToolTip(Ctl list, int index, const std::string& tip) = 0;

    // text box and labels
    virtual std::string text(Ctl c) const = 0;
    virtual void setText(Ctl c, const std::string& text) = 0;

    // push buttons
    virtual void setBackColour(Ctl button, std::uint32_t bgr) = 0;
    virtual std::uint32_t backColour(Ctl button) const = 0;

    // progress bar: minimum 0, single-precision maximum and value; the bar's
    // rules are the same on every toolkit, only the drawing is its own
    void setProgressMax(float max)
    {
        progressMax_ = max;
        showProgressShare(progressShare());
    }
    float progressMax() const { return progressMax_; }
    // false when the bar refuses the value (above its maximum or below 0)
    bool setProgressValue(float value)
    {
        if (!(value >= 0.0f) || value > progressMax_)
            return false;
        progressValue_ = value;
        showProgressShare(progressShare());
        return true;
    }
    float progressValue() const { return progressValue_; }

    // the window
    virtual void setPointer(Pointer p) = 0;
    virtual Pointer pointer() const = 0;
    virtual void processEvents() = 0;
    // Delivers only what the window system asks of the window (a close),
    // no user input; a session calls it before each box it shows, since a
    // request arriving while a modal box is open would be dropped.
    virtual void processWindowRequests() {}
    virtual void closeWindow() = 0;

    // modal boxes; an empty title means the program's title
    virtual void messageBox(const std::string& text, bool exclamation = false,
                            const std::string& title = {}) = 0;
    virtual OpenDialogResult showOpenDialog(const OpenDialogSetup& setup) = 0;

protected:
    // Fills that share of the bar, 0 to 1.
    virtual void showProgressShare(double share) = 0;

private:
    double progressShare() const
    {
        const double share =
            progressMax_ > 0.0f ? static_cast<double>(progressValue_) / progressMax_ : 0.0;
        return share < 0.0 ? 0.0 : share > 1.0 ? 1.0 : share;
    }

    float progressMax_ = 100.0f;
    float progressValue_ = 0.0f;
};

} // namespace fw
