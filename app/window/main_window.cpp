#include "window/main_window.h"

#include "package/open_step.h"
#include "session/channel_set.h"
#include "session/clock.h"
#include "session/download_session.h"
#include "session/serial_port_names.h"
#include "session/tavlib_binding.h"
#include "ui_Form1.h"
#include "window/form_handlers.h"
#include "window/qt_toolkit.h"
#include "window/startup.h"

#include <QCloseEvent>
#include <QMenuBar>

namespace fw {

MainWindow::MainWindow(const std::string& programDir, UsbLibrary* usb, ChannelSet* channels,
                       Clock* clock)
    : programDir_(programDir), ui_(std::make_unique<Ui::Form1>())
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // Fixed single border: the client area below the menu is 813 x 417.
    setFixedSize(813, 417 + menuBar()->sizeHint().height());

    toolkit_ = std::make_unique<QtToolkit>(*this, *ui_);
    toolkit_->setBackColour(Ctl::cmdSTART, kStartColourInitial);

    if (!usb) {
        ownUsb_ = std::make_unique<TavlibBinding>(programDir_);
        usb = ownUsb_.get();
    }
    usb_ = usb;
    if (!channels) {
        ownChannels_ = std::make_unique<ProductChannels>(programDir_, *usb_);
        channels = ownChannels_.get();
    }
    channels_ = channels;
    if (!clock) {
        ownClock_ = std::make_unique<SteadyClock>();
        clock = ownClock_.get();
    }
    clock_ = clock;

    handlers_ = std::make_unique<FormHandlers>(*toolkit_, state_, *usb_);
    toolkit_->setEvents(handlers_.get());
    session_ = std::make_unique<DownloadSession>(*toolkit_, state_, *channels_, *clock_,
                                                 [this] { openPackage(); });

    connect(ui_->mnuFileOpen, &QAction::triggered, this, &MainWindow::openPackage);
    connect(ui_->mnuFileExit, &QAction::triggered, this, &MainWindow::endProgram);
    connect(ui_->cmdSTART, &QPushButton::clicked, this, &MainWindow::startDownload);
    connect(ui_->cmdClose, &QPushButton::clicked, this, &MainWindow::okClicked);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, &MainWindow::endProgram);

    ui_->cmdSTART->setFocus();
}

MainWindow::~MainWindow()
{
    toolkit_->setEvents(nullptr);
}

void MainWindow::startUp()
{
    fw::startUp(*toolkit_, state_, *usb_, programDir_);
    // Show which device each port number reaches.
    for (int i = 0; i < toolkit_->itemCount(Ctl::cboPORT); ++i) {
        const std::string device = resolveSerialPort(i + 1, programDir_);
        toolkit_->setItemToolTip(Ctl::cboPORT, i,
                                 device.empty() ? std::string("no serial port present") : device);
    }
    ui_->cmdSTART->setFocus();
}

void MainWindow::openPackage()
{
    runOpenStep(*toolkit_, state_, programDir_);
}

void MainWindow::startDownload()
{
    if (state_.sessionRunning)
        return;
    session_->run();
    if (state_.endRequested)
        close();
}

void MainWindow::okClicked()
{
    storeSettings(*toolkit_, programDir_);
    close();
}

void MainWindow::endProgram()
{
    close();
}

void MainWindow::releaseDevices()
{
    for (ChannelKind k : {ChannelKind::Serial, ChannelKind::Usb, ChannelKind::Network})
        if (channels_->channel(k).isOpen())
            channels_->channel(k).close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (state_.sessionRunning) {
        // The session stops at its next look, releases its channel and
        // returns; the window closes then.
        state_.endRequested = true;
        event->ignore();
        return;
    }
    releaseDevices();
    event->accept();
}

} // namespace fw
