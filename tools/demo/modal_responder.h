#pragma once
// Answers the window's modal boxes the way a user would: types a file name
// into the Open dialog, notes each message box's text and presses OK. Used by
// the end-to-end tests and the demo, which drive the real window.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>

class QFileDialog;
class QMessageBox;

namespace fw {

class ModalResponder : public QObject {
public:
    // A modal still open after `patienceMs` is closed and noted as stuck, so
    // a wrong turn fails a test instead of hanging it.
    explicit ModalResponder(int patienceMs = 30000);

    QStringList files; // answers for the next Open dialogs; "" cancels
    // An answer that presses Open on the name the dialog already shows.
    static QString asShown() { return QStringLiteral("\x01as shown"); }
    QStringList boxes; // texts of the message boxes seen, in order
    QStringList stuck; // modals that had to be closed
    int dialogsAnswered = 0;
    // Runs once a message box has been on screen for a moment, before OK.
    std::function<void(QMessageBox&)> onBox;
    // When set, acts on each showing of the Open dialog instead of `files`.
    std::function<void(QFileDialog&)> onDialog;

private:
    void poll();

    QTimer timer_;
    QPointer<QWidget> current_;
    QElapsedTimer shown_;
    int patienceMs_;
};

} // namespace fw
