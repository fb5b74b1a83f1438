#include "window/main_window.h"

#include "ui_Form1.h"
#include "window/qt_toolkit.h"

#include <QCloseEvent>
#include <QMenuBar>

namespace fw {

MainWindow::MainWindow(const Locations& where, UsbLibrary& usb, ChannelSet& channels, Clock& clock)
    : ui_(std::make_unique<Ui::Form1>()), channels_(channels), session_(channels, clock)
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    // Fixed single border: the client area below the menu is 813 x 417.
    setFixedSize(813, 417 + menuBar()->sizeHint().height());

    toolkit_ = std::make_unique<QtToolkit>(*this, *ui_);
    form_ = std::make_unique<Form>(*toolkit_, usb, session_, where);

    connect(ui_->mnuFileOpen, &QAction::triggered, this, [this] { form_->openPackage(); });
    connect(ui_->mnuFileExit, &QAction::triggered, this, &MainWindow::close);
    connect(ui_->cmdSTART, &QPushButton::clicked, this, &MainWindow::startDownload);
    connect(ui_->cmdClose, &QPushButton::clicked, this, &MainWindow::okClicked);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, &MainWindow::close);

    ui_->cmdSTART->setFocus();
}

MainWindow::MainWindow(const std::string& programDir, UsbLibrary& usb, ChannelSet& channels,
                       Clock& clock)
    : MainWindow(portableLocations(programDir), usb, channels, clock)
{}

MainWindow::~MainWindow() = default;

void MainWindow::startUp()
{
    form_->startUp();
    ui_->cmdSTART->setFocus();
}

void MainWindow::startDownload()
{
    form_->startDownload();
    if (form_->endRequested())
        close();
}

void MainWindow::okClicked()
{
    form_->storeSettings();
    close();
}

void MainWindow::releaseDevices()
{
    for (ChannelKind k : {ChannelKind::Serial, ChannelKind::Usb, ChannelKind::Network})
        if (channels_.channel(k).isOpen())
            channels_.channel(k).close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!form_->mayClose()) {
        // The session stops at its next look, releases its channel and
        // returns; the window closes then.
        event->ignore();
        return;
    }
    releaseDevices();
    event->accept();
}

} // namespace fw
