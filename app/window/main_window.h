#pragma once
// Form1: the program's one window. It owns the window-level state, the three
// channels and the USB library binding, and wires the controls to their
// handlers.

#include "window/form_state.h"

#include <QMainWindow>
#include <memory>
#include <string>

namespace Ui { class Form1; }

namespace fw {

class QtToolkit;
class UsbLibrary;
class ChannelSet;
class FormHandlers;
class Clock;
class DownloadSession;

class MainWindow final : public QMainWindow {
public:
    // `usb` and `channels` may be given by tests; otherwise the window binds
    // TAVLIB by name and opens real channels.
    explicit MainWindow(const std::string& programDir, UsbLibrary* usb = nullptr,
                        ChannelSet* channels = nullptr, Clock* clock = nullptr);
    ~MainWindow() override;

    // Fills the lists, restores the settings and selects the interface;
    // the caller shows the window afterwards.
    void startUp();

    Ui::Form1& form() { return *ui_; }
    QtToolkit& toolkit() { return *toolkit_; }
    FormState& state() { return state_; }

    // The handlers, as the controls run them.
    void openPackage();
    void startDownload();
    void okClicked();
    void endProgram();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void releaseDevices();

    std::string programDir_;
    std::unique_ptr<Ui::Form1> ui_;
    std::unique_ptr<QtToolkit> toolkit_;
    FormState state_;
    std::unique_ptr<UsbLibrary> ownUsb_;
    std::unique_ptr<ChannelSet> ownChannels_;
    std::unique_ptr<Clock> ownClock_;
    UsbLibrary* usb_;
    ChannelSet* channels_;
    Clock* clock_;
    std::unique_ptr<FormHandlers> handlers_;
    std::unique_ptr<DownloadSession> session_;
};

} // namespace fw
