// firmware-demo: starts the real Firmware window, downloads one package
// through it as a user would (Download Start, the Open dialog, the outcome
// box) and saves a screenshot of the outcome.
//   firmware-demo <package> <screenshot.png>
#include "choice/printer_access.h"
#include "modal_responder.h"
#include "window/main_window.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>
#include <QTimer>

#include "ui_Form1.h"

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: firmware-demo <package> <screenshot.png>\n");
        return 2;
    }
    app.setStyle(QStyleFactory::create("Fusion"));
    const QString package = QString::fromLocal8Bit(argv[1]);
    const QString shot = QString::fromLocal8Bit(argv[2]);

    // The parts the program itself builds.
    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();
    fw::PrinterAccess access(fw::portableLocations(programDir));
    fw::MainWindow window(programDir, access.usb, access.channels, access.clock);
    window.startUp();
    window.show();
    window.activateWindow();

    fw::ModalResponder responder(60000);
    responder.files << package;
    bool saved = false;
    responder.onBox = [&](QMessageBox& box) {
        // The outcome box is the last one; keep the screen as it shows it.
        QScreen* screen = QGuiApplication::primaryScreen();
        QPixmap picture = screen ? screen->grabWindow(0) : window.grab();
        if (picture.isNull())
            picture = window.grab();
        saved = picture.save(shot) || saved;
        (void)box;
    };

    int status = 1;
    QTimer::singleShot(500, &window, [&] {
        window.controls().cmdSTART->click(); // returns when the session has ended
        const QString outcome = responder.boxes.isEmpty() ? QString() : responder.boxes.last();
        std::printf("Outcome: %s\n", outcome.toLocal8Bit().constData());
        std::printf("Counter: %s\n", window.controls().Label3->text().toLocal8Bit().constData());
        if (saved)
            std::printf("Screenshot: %s\n", shot.toLocal8Bit().constData());
        status = outcome == "Download Success." ? 0 : 1;
        QApplication::exit(status);
    });
    app.exec();
    return status;
}
