#pragma once
// Form1 on Qt: the program's one window. It creates the controls from the
// stored design, realises the toolkit on them and runs the form's handlers
// when the user acts.

#include "engine/session.h"
#include "form/form.h"

#include <QMainWindow>
#include <memory>
#include <string>

namespace Ui {
class Form1;
}

namespace fw {

class QtToolkit;
class UsbLibrary;

class MainWindow final : public QMainWindow {
public:
    // `where` tells where the program's files are; `usb`, `channels` and
    // `clock` outlive the window.
    MainWindow(const Locations& where, UsbLibrary& usb, ChannelSet& channels, Clock& clock);
    // Everything in `programDir`, the folder that holds the program file.
    MainWindow(const std::string& programDir, UsbLibrary& usb, ChannelSet& channels, Clock& clock);
    ~MainWindow() override;

    // Fills the lists, restores the settings and selects the interface;
    // the caller shows the window afterwards.
    void startUp();

    Ui::Form1& controls() { return *ui_; }
    QtToolkit& toolkit() { return *toolkit_; }
    Form& form() { return *form_; }
    FormState& state() { return form_->state(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void startDownload();
    void okClicked();
    void releaseDevices();

    std::unique_ptr<Ui::Form1> ui_;
    std::unique_ptr<QtToolkit> toolkit_;
    ChannelSet& channels_;
    DownloadSession session_;
    std::unique_ptr<Form> form_;
};

} // namespace fw
