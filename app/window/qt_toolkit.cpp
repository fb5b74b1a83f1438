#include "window/qt_toolkit.h"

#include "ui_Form1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

#include <algorithm>
#include <cmath>

namespace fw {

QString toQt(const std::string& s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
std::string fromQt(const QString& s)
{
    return s.toUtf8().toStdString();
}

namespace {

QComboBox* combo(QWidget* w)
{
    return qobject_cast<QComboBox*>(w);
}

// Swallows the user's clicks, keys and shortcuts while it is installed.
class DropUserInput final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* e) override
    {
        return dynamic_cast<QInputEvent*>(e) != nullptr || e->type() == QEvent::Shortcut;
    }
};

// Paints the frame's own picture beneath a widget that stands over it and
// makes the widget opaque. Left see-through, every repaint of the widget (up
// to 60 a second for the counter and the bar in a download) repaints the
// frame under it too, border and title text; over the picture the widget
// repaints alone and looks the same.
class FrameBackdrop final : public QObject {
public:
    FrameBackdrop(QWidget& w, QWidget& frame) : QObject(&w), w_(w), frame_(&frame)
    {
        w.setAttribute(Qt::WA_OpaquePaintEvent);
        w.installEventFilter(this);
        frame.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::Paint:
            if (watched == &w_)
                paint(static_cast<QPaintEvent*>(e)->region());
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::StyleChange:
        case QEvent::PaletteChange:
        case QEvent::FontChange: picture_ = QPixmap(); break;
        default: break;
        }
        return false; // the widget paints itself over it
    }

private:
    void paint(const QRegion& region)
    {
        if (!frame_)
            return;
        if (picture_.isNull()) {
            QWidget* top = w_.window();
            const QRect inFrame(frame_->mapFrom(top, w_.mapTo(top, QPoint())), w_.size());
            const qreal dpr = w_.devicePixelRatioF();
            picture_ = QPixmap((QSizeF(w_.size()) * dpr).toSize());
            picture_.setDevicePixelRatio(dpr);
            QPainter(&picture_).fillRect(QRect(QPoint(), w_.size()),
                                         top->palette().brush(QPalette::Window));
            frame_->render(&picture_, QPoint(), QRegion(inFrame), QWidget::RenderFlags());
        }
        QPainter p(&w_);
        p.setClipRegion(region);
        p.drawPixmap(0, 0, picture_);
    }

    QWidget& w_;
    QPointer<QWidget> frame_;
    QPixmap picture_;
};

// The bar counts in whole steps; a single-precision maximum can exceed the
// int range, so the bar shows the proportion on a fixed scale.
constexpr int kBarSteps = 1 << 20;

} // namespace

void PackageDialog::accept()
{
    if (pathMustExist) {
        const QStringList files = selectedFiles();
        const QString file = files.isEmpty() ? QString() : files.front();
        if (!file.isEmpty() && !QFileInfo(file).absoluteDir().exists()) {
            QMessageBox::warning(
                this, windowTitle(),
                QDir::toNativeSeparators(file) +
                    QStringLiteral("\nPath does not exist.\nCheck the path and try again."));
            return;
        }
    }
    QFileDialog::accept();
}

QtToolkit::QtToolkit(QMainWindow& window, Ui::Form1& ui) : window_(window), ui_(ui)
{
    ui_.ProgressBar->setRange(0, kBarSteps);
    ui_.ProgressBar->setValue(0);
    label3Right_ = ui_.Label3->geometry().right();
    new FrameBackdrop(*ui_.Label3, *ui_.Frame1);
    new FrameBackdrop(*ui_.ProgressBar, *ui_.Frame1);

    // A user's pick runs the same handlers as the program's selection.
    for (auto [button, c] :
         {std::pair{ui_.OptSerial, Ctl::OptSerial}, std::pair{ui_.OptUSB, Ctl::OptUSB},
          std::pair{ui_.OptEthernet, Ctl::OptEthernet}}) {
        QObject::connect(button, &QRadioButton::clicked, &window_, [this, c = c] {
            if (events_)
                events_->optionClicked(c);
        });
        QObject::connect(button, &QRadioButton::toggled, &window_,
                         [this] { tabToSelectedOption(); });
    }
    for (auto c : {Ctl::cboPORT, Ctl::CboUSB, Ctl::cboBaudRate, Ctl::cboBitLength, Ctl::cboParity,
                   Ctl::cboStopBit, Ctl::cboHandShake}) {
        QObject::connect(combo(widget(c)), &QComboBox::activated, &window_, [this, c](int) {
            if (events_)
                events_->listClicked(c);
        });
    }
}

QtToolkit::~QtToolkit() = default;

// Made on first use: its file system model, icons and thread would be a good
// part of the window's start-up.
PackageDialog& QtToolkit::fileDialog()
{
    if (!dialog_) {
        dialog_ = new PackageDialog(&window_);
        dialog_->setOption(QFileDialog::DontUseNativeDialog, true);
        dialog_->setAcceptMode(QFileDialog::AcceptOpen);
    }
    return *dialog_;
}

void QtToolkit::tabToSelectedOption()
{
    // Tab enters the option group at the selected button only (any of them
    // while none is selected); the arrow keys move within the group.
    const std::initializer_list<QRadioButton*> options{ui_.OptSerial, ui_.OptUSB, ui_.OptEthernet};
    const bool anySelected =
        std::any_of(options.begin(), options.end(), [](QRadioButton* b) { return b->isChecked(); });
    for (QRadioButton* b : options) {
        const int policy = b->focusPolicy();
        const bool tabStop = !anySelected || b->isChecked();
        b->setFocusPolicy(
            static_cast<Qt::FocusPolicy>(tabStop ? policy | Qt::TabFocus : policy & ~Qt::TabFocus));
    }
}

QWidget* QtToolkit::widget(Ctl c) const
{
    switch (c) {
    case Ctl::OptSerial: return ui_.OptSerial;
    case Ctl::OptUSB: return ui_.OptUSB;
    case Ctl::OptEthernet: return ui_.OptEthernet;
    case Ctl::cboPORT: return ui_.cboPORT;
    case Ctl::CboUSB: return ui_.CboUSB;
    case Ctl::cboBaudRate: return ui_.cboBaudRate;
    case Ctl::cboBitLength: return ui_.cboBitLength;
    case Ctl::cboParity: return ui_.cboParity;
    case Ctl::cboStopBit: return ui_.cboStopBit;
    case Ctl::cboHandShake: return ui_.cboHandShake;
    case Ctl::TextEthernet: return ui_.TextEthernet;
    case Ctl::FrameSerial: return ui_.FrameSerial;
    case Ctl::FrameUSB: return ui_.FrameUSB;
    case Ctl::FrameEthernet: return ui_.FrameEthernet;
    case Ctl::cmdSTART: return ui_.cmdSTART;
    case Ctl::cmdCancel: return ui_.cmdCancel;
    case Ctl::cmdClose: return ui_.cmdClose;
    case Ctl::ProgressBar: return ui_.ProgressBar;
    case Ctl::Label3: return ui_.Label3;
    case Ctl::lblFileType: return ui_.lblFileType;
    case Ctl::lblFileName: return ui_.lblFileName;
    case Ctl::lblSize: return ui_.lblSize;
    case Ctl::mnuFile: return ui_.mnuFile;
    case Ctl::mnuFileOpen:
    case Ctl::mnuFileExit: return nullptr; // actions, not widgets
    }
    return nullptr;
}

void QtToolkit::setEnabled(Ctl c, bool enabled)
{
    if (c == Ctl::mnuFileOpen)
        ui_.mnuFileOpen->setEnabled(enabled);
    else if (c == Ctl::mnuFileExit)
        ui_.mnuFileExit->setEnabled(enabled);
    else if (QWidget* w = widget(c))
        w->setEnabled(enabled);
}

bool QtToolkit::isEnabled(Ctl c) const
{
    if (c == Ctl::mnuFileOpen)
        return ui_.mnuFileOpen->isEnabled();
    if (c == Ctl::mnuFileExit)
        return ui_.mnuFileExit->isEnabled();
    QWidget* w = widget(c);
    return w && w->isEnabled();
}

void QtToolkit::setVisible(Ctl c, bool visible)
{
    if (QWidget* w = widget(c))
        w->setVisible(visible);
}

bool QtToolkit::isVisible(Ctl c) const
{
    // Whether the control is set to show, even before the window is shown.
    QWidget* w = widget(c);
    return w && !w->isHidden();
}

std::optional<Ctl> QtToolkit::focus() const
{
    // The window's focus child, kept while another window is active.
    QWidget* f = window_.focusWidget();
    for (int k = 0; f && k <= static_cast<int>(Ctl::mnuFileExit); ++k)
        if (f == widget(static_cast<Ctl>(k)))
            return static_cast<Ctl>(k);
    return std::nullopt;
}

void QtToolkit::setFocus(Ctl c)
{
    if (QWidget* w = widget(c); w && w->isEnabled() && w->isVisible())
        w->setFocus(Qt::OtherFocusReason);
}

bool QtToolkit::isSelected(Ctl option) const
{
    auto* b = qobject_cast<QRadioButton*>(widget(option));
    return b && b->isChecked();
}

void QtToolkit::select(Ctl option)
{
    auto* b = qobject_cast<QRadioButton*>(widget(option));
    if (!b)
        return;
    b->setChecked(true);
    if (events_)
        events_->optionClicked(option);
}

void QtToolkit::clearList(Ctl list)
{
    if (auto* c = combo(widget(list)))
        c->clear();
}

void QtToolkit::addItem(Ctl list, const std::string& text)
{
    if (auto* c = combo(widget(list))) {
        const QSignalBlocker block(c);
        const int current = c->currentIndex();
        c->addItem(toQt(text));
        // A list keeps "no selection" while entries are appended.
        c->setCurrentIndex(current);
    }
}

int QtToolkit::itemCount(Ctl list) const
{
    auto* c = combo(widget(list));
    return c ? c->count() : 0;
}

int QtToolkit::listIndex(Ctl list) const
{
    auto* c = combo(widget(list));
    return c ? c->currentIndex() : -1;
}

void QtToolkit::setListIndex(Ctl list, int index)
{
    auto* c = combo(widget(list));
    if (!c)
        return;
    {
        const QSignalBlocker block(c);
        c->setCurrentIndex(index >= 0 && index < c->count() ? index : -1);
    }
    if (events_)
        events_->listClicked(list);
}

std::string QtToolkit::listText(Ctl list) const
{
    auto* c = combo(widget(list));
    return c && c->currentIndex() >= 0 ? fromQt(c->currentText()) : std::string();
}

std::string QtToolkit::itemText(Ctl list, int index) const
{
    auto* c = combo(widget(list));
    return c ? fromQt(c->itemText(index)) : std::string();
}

void QtToolkit::setItemToolTip(Ctl list, int index, const std::string& tip)
{
    if (auto* c = combo(widget(list)))
        c->setItemData(index, toQt(tip), Qt::ToolTipRole);
}

std::string QtToolkit::text(Ctl c) const
{
    QWidget* w = widget(c);
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return fromQt(e->text());
    if (auto* l = qobject_cast<QLabel*>(w))
        return fromQt(l->text());
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return fromQt(b->text());
    return {};
}

void QtToolkit::setText(Ctl c, const std::string& text)
{
    QWidget* w = widget(c);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        e->setText(toQt(text));
    } else if (auto* l = qobject_cast<QLabel*>(w)) {
        l->setText(toQt(text));
        if (c == Ctl::Label3) {
            // The counter is right-aligned under the bar's right end and
            // grows to the left so a long count stays readable.
            QRect g = l->geometry();
            const int need = QFontMetrics(l->font()).horizontalAdvance(l->text()) + 4;
            const int width = std::max(need, 17);
            g.setLeft(label3Right_ - width + 1);
            g.setRight(label3Right_);
            l->setGeometry(g);
        }
    } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        b->setText(toQt(text));
    }
}

void QtToolkit::setBackColour(Ctl button, std::uint32_t bgr)
{
    QWidget* w = widget(button);
    if (!w)
        return;
    const QColor colour(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                        static_cast<int>((bgr >> 16) & 0xFF));
    QPalette pal = w->palette();
    pal.setColor(QPalette::Button, colour);
    w->setPalette(pal);
    w->setProperty("backColourBgr", static_cast<unsigned>(bgr));
}

std::uint32_t QtToolkit::backColour(Ctl button) const
{
    QWidget* w = widget(button);
    if (!w)
        return 0;
    const QColor c = w->palette().color(QPalette::Button);
    return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
           (static_cast<std::uint32_t>(c.blue()) << 16);
}

void QtToolkit::showProgressShare(double share)
{
    ui_.ProgressBar->setValue(static_cast<int>(std::lround(share * kBarSteps)));
}

void QtToolkit::setPointer(Pointer p)
{
    // The window's own pointer: boxes and dialogs opened meanwhile keep theirs.
    if (p == Pointer::Hourglass)
        window_.setCursor(Qt::WaitCursor);
    else
        window_.unsetCursor();
    pointer_ = p;
}

void QtToolkit::processEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtToolkit::processWindowRequests()
{
    // Qt counts a close by the window system as user input, so excluding
    // user input would keep it back as well. Deliver everything, but drop
    // the clicks and keys, as the modal box that follows would.
    DropUserInput dropUserInput;
    qApp->installEventFilter(&dropUserInput);
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    qApp->removeEventFilter(&dropUserInput);
}

void QtToolkit::closeWindow()
{
    window_.close();
}

void QtToolkit::messageBox(const std::string& text, bool exclamation, const std::string& title)
{
    QMessageBox box(exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                    toQt(title.empty() ? std::string(kProgramTitle) : title), toQt(text),
                    QMessageBox::Ok, &window_);
    box.exec();
}

OpenDialogResult QtToolkit::showOpenDialog(const OpenDialogSetup& setup)
{
    PackageDialog& d = fileDialog();
    d.setWindowTitle(toQt(setup.title));
    d.setFileMode(QFileDialog::AnyFile); // the file itself need not exist
    d.pathMustExist = (setup.flags & kOfnPathMustExist) != 0;
    d.setOption(QFileDialog::ReadOnly, false);
    d.setOption(QFileDialog::DontConfirmOverwrite, true);
    const auto bar = setup.filter.find('|');
    const std::string description = setup.filter.substr(0, bar);
    d.setNameFilter(toQt(description));
    // The dialog keeps the full name of its last use and opens where that
    // file is; the starting folder counts only while it holds no name.
    if (lastFile_.isEmpty()) {
        d.setDirectory(toQt(setup.initialDir));
    } else {
        d.setDirectory(QFileInfo(lastFile_).absolutePath());
        d.selectFile(lastFile_);
    }
    const int answer = d.exec();
    // A completion list left open would outlive the dialog and take the
    // next click in the window.
    if (auto* edit = d.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
        if (QCompleter* c = edit->completer(); c && c->popup()) {
            c->popup()->hide();
            c->setCompletionPrefix(QString()); // no late reopening either
        }
    }
    if (answer != QDialog::Accepted)
        return {};
    const QStringList files = d.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty())
        return {};
    lastFile_ = QFileInfo(files.front()).absoluteFilePath();
    OpenDialogResult r;
    r.fileName = fromQt(QDir::toNativeSeparators(lastFile_));
    r.fileTitle = fromQt(QFileInfo(lastFile_).fileName());
    return r;
}

} // namespace fw
