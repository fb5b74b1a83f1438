#include "modal_responder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace fw {

namespace {
constexpr int kSettleMs = 150; // let a box paint before it is answered
}

ModalResponder::ModalResponder(int patienceMs) : patienceMs_(patienceMs)
{
    connect(&timer_, &QTimer::timeout, this, &ModalResponder::poll);
    timer_.start(10);
}

void ModalResponder::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    if (modal != current_) {
        current_ = modal;
        shown_.start();
        return;
    }
    if (shown_.elapsed() < kSettleMs)
        return;

    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        current_ = nullptr;
        ++dialogsAnswered;
        if (onDialog) {
            onDialog(*dialog);
            return;
        }
        const QString answer = files.isEmpty() ? QString() : files.takeFirst();
        auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        if (answer.isEmpty() || !edit) {
            dialog->reject();
            return;
        }
        if (answer != asShown())
            edit->setText(answer);
        // As the Open button does, after this returns: the dialog's own
        // checks may open a box of their own, answered like any other.
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        current_ = nullptr;
        boxes << box->text();
        if (onBox)
            onBox(*box);
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->accept();
        return;
    }
    if (shown_.elapsed() > patienceMs_) {
        stuck << modal->metaObject()->className();
        current_ = nullptr;
        modal->close();
    }
}

} // namespace fw
