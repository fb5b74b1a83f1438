// The window as the program shows it against its stored design Form1.ui,
// read at test time, with a few of the design's own numbers checked so that
// a wrong design is caught too; and the toolkit services on the real widgets.
#include "form_design.h"
#include "modal_responder.h"
#include "program_window.h"
#include "ui_Form1.h"
#include "window/qt_toolkit.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

// Rectangles and sizes in failure reports.
void PrintTo(const QRect& r, std::ostream* os)
{
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}
void PrintTo(const QSize& s, std::ostream* os)
{
    *os << s.width() << "x" << s.height();
}

namespace {

using fw::test::DesignedControl;
using fw::test::form1Design;
using fw::test::FormDesign;

QString textOf(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w))
        return e->text();
    if (auto* m = qobject_cast<QMenu*>(w))
        return m->title();
    return {};
}

QRect rectOf(const DesignedControl& c)
{
    return QRect(c.x, c.y, c.width, c.height);
}

// A design position in pixels: twips / 15.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

TEST(Form1Design, KeepsTheNumbersOfTheWindowItDescribes)
{
    const FormDesign& d = form1Design();
    ASSERT_EQ(d.error, "");
    EXPECT_EQ(d.name, "Form1");
    EXPECT_EQ(d.title, "Firmware Downloader  V4.61 for Q5");
    EXPECT_EQ(QSize(d.width, d.height), QSize(12195 / 15, 6255 / 15)); // the client area
    const DesignedControl* start = d.find("cmdSTART");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(rectOf(*start), twips(10350, 3270, 1635, 525));
    // The three settings frames share one rectangle, the serial one in front.
    for (const char* frame : {"FrameSerial", "FrameUSB", "FrameEthernet"}) {
        ASSERT_NE(d.find(frame), nullptr) << frame;
        EXPECT_EQ(rectOf(*d.find(frame)), twips(3330, 930, 4185, 4515)) << frame;
    }
    const std::vector<std::string> client = d.childrenOf("centralwidget");
    const auto at = [&](const char* name) {
        return std::find(client.begin(), client.end(), name) - client.begin();
    };
    EXPECT_GT(at("FrameSerial"), at("FrameUSB"));
    EXPECT_GT(at("FrameUSB"), at("FrameEthernet"));
    // The counter's right edge is the bar's, at 11955 twips in the window.
    const DesignedControl* bar = d.find("ProgressBar");
    const DesignedControl* counter = d.find("Label3");
    const DesignedControl* info = d.find("Frame1");
    ASSERT_TRUE(bar && counter && info);
    EXPECT_EQ(bar->x + bar->width, 11955 / 15);
    EXPECT_EQ(info->x + counter->x + counter->width, 11955 / 15);
    ASSERT_FALSE(d.tabOrder.empty());
    EXPECT_EQ(d.tabOrder.front(), "cmdSTART"); // has the focus when the window opens
}

// The program's window, shown, before start-up.
class Form1Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(form1Design().error, "");
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QTemporaryDir dir;
    fw::test::ProgramWindow program{dir.path().toStdString()};
    fw::MainWindow& window = *program;
};

TEST_F(Form1Window, EveryControlIsWhereTheDesignPutsIt)
{
    EXPECT_EQ(window.windowTitle().toStdString(), form1Design().title);
    EXPECT_EQ(window.centralWidget()->size(), QSize(form1Design().width, form1Design().height));
    EXPECT_EQ(window.centralWidget()->size(), QSize(813, 417));
    EXPECT_EQ(window.controls().cmdSTART->geometry(), QRect(690, 218, 109, 35));
    for (const DesignedControl& c : form1Design().controls) {
        SCOPED_TRACE(c.name);
        auto* w = window.findChild<QWidget*>(QString::fromStdString(c.name));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->metaObject()->className(), c.kind);
        ASSERT_NE(w->parentWidget(), nullptr);
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), c.container);
        EXPECT_EQ(textOf(w).toStdString(), c.text);
        if (c.placed) {
            EXPECT_EQ(w->geometry(), rectOf(c));
        }
        EXPECT_EQ(w->accessibleName().toStdString(), c.accessibleName);
        if (auto* l = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(bool(l->alignment() & Qt::AlignRight), c.rightAligned);
            EXPECT_EQ(l->buddy() ? l->buddy()->objectName().toStdString() : std::string(), c.buddy);
        }
    }
}

TEST_F(Form1Window, ControlsAreStackedAsDesigned)
{
    // Qt paints later siblings over earlier ones, as the design lists them.
    for (const char* container :
         {"centralwidget", "Frame1", "Frame2", "FrameSerial", "FrameUSB", "FrameEthernet"}) {
        SCOPED_TRACE(container);
        auto* parent = window.findChild<QWidget*>(container);
        ASSERT_NE(parent, nullptr);
        std::vector<std::string> actual;
        for (QObject* o : parent->children())
            if (auto* w = qobject_cast<QWidget*>(o))
                actual.push_back(w->objectName().toStdString());
        EXPECT_EQ(actual, form1Design().childrenOf(container));
    }
}

TEST_F(Form1Window, TabOrderIsTheDesigned)
{
    std::vector<std::string> actual;
    QWidget* first = window.controls().cmdSTART;
    QWidget* w = first;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            actual.push_back(w->objectName().toStdString());
        w = w->nextInFocusChain();
    } while (w != first && actual.size() < 40);
    EXPECT_EQ(actual, form1Design().tabOrder);
}

// A session disables controls, the one with the focus among them, and
// enables them again afterwards: the focus is back where it was, not on the
// first list that stayed enabled.
TEST_F(Form1Window, FocusIsBackWhereItWasAfterASession)
{
    const QString empty = dir.filePath("EMPTY.DPX");
    std::ofstream(empty.toStdString()).close();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    Ui::Form1& ui = window.controls();
    for (QWidget* before : {static_cast<QWidget*>(ui.cmdSTART), static_cast<QWidget*>(ui.cboPORT),
                            static_cast<QWidget*>(ui.cboBaudRate)}) {
        SCOPED_TRACE(before->objectName().toStdString());
        before->setFocus();
        window.state().packagePath = empty.toStdString(); // kept: the Open dialog is cancelled
        fw::ModalResponder user(10000);
        user.files = {""};
        window.form().startDownload();
        EXPECT_EQ(user.boxes, QStringList{"Firmware file not open."});
        ASSERT_NE(window.focusWidget(), nullptr);
        EXPECT_EQ(window.focusWidget()->objectName().toStdString(),
                  before->objectName().toStdString());
    }
}

class Form1Test : public ::testing::Test {
protected:
    Form1Test() { ui.setupUi(&window); }
    QMainWindow window;
    Ui::Form1 ui;
};

TEST_F(Form1Test, CaptionFontsAndMenu)
{
    EXPECT_EQ(window.windowTitle(), "Firmware Downloader  V4.61 for Q5");
    EXPECT_EQ(window.font().family(), "Arial");
    EXPECT_EQ(window.font().pointSize(), 9);
    EXPECT_FALSE(ui.OptSerial->font().bold());
    EXPECT_TRUE(ui.cmdSTART->font().bold());
    EXPECT_EQ(ui.cmdSTART->font().pointSize(), 9);
    EXPECT_FALSE(window.windowIcon().isNull());
    ASSERT_NE(ui.Image2->pixmap().isNull(), true);

    EXPECT_EQ(ui.mnuFile->title(), "File(&F)");
    const QList<QAction*> items = ui.mnuFile->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "Open(&F)");
    EXPECT_EQ(items[0]->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_TRUE(items[1]->isSeparator());
    EXPECT_EQ(items[2]->text(), "Exit(&X)");
}

TEST_F(Form1Test, OptionsStartUnselectedAndFramesVisible)
{
    for (auto* o : {ui.OptSerial, ui.OptUSB, ui.OptEthernet})
        EXPECT_FALSE(o->isChecked()) << o->objectName().toStdString();
    for (auto* f : {ui.FrameSerial, ui.FrameUSB, ui.FrameEthernet})
        EXPECT_FALSE(f->isHidden()) << f->objectName().toStdString();
    for (auto* c : window.findChildren<QComboBox*>()) {
        EXPECT_EQ(c->count(), 0);
        EXPECT_FALSE(c->isEditable());
    }
}

TEST_F(Form1Test, TheSerialFrameHidesTheFramesBehindIt)
{
    // On a first run all three settings frames are visible in one place.
    window.show();
    QWidget* client = window.centralWidget();
    const QRect area = ui.FrameSerial->geometry();
    const QImage allThree = client->grab(area).toImage();
    ui.FrameUSB->hide();
    ui.FrameEthernet->hide();
    EXPECT_EQ(allThree, client->grab(area).toImage());
}

TEST_F(Form1Test, EveryListAndTheTextBoxIsNamedByItsCaption)
{
    // The caption is the label on the control's row in the same frame.
    std::vector<QWidget*> fields;
    for (auto* c : window.findChildren<QComboBox*>())
        fields.push_back(c);
    for (auto* e : window.findChildren<QLineEdit*>())
        fields.push_back(e);
    ASSERT_EQ(fields.size(), 8u);
    for (QWidget* field : fields) {
        SCOPED_TRACE(field->objectName().toStdString());
        std::vector<QLabel*> captions;
        for (auto* l : field->parentWidget()->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            const int middle = l->geometry().center().y();
            if (middle >= field->geometry().top() && middle <= field->geometry().bottom() &&
                l->geometry().right() < field->geometry().left())
                captions.push_back(l);
        }
        ASSERT_EQ(captions.size(), 1u);
        EXPECT_EQ(captions[0]->buddy(), field);
        QString name = captions[0]->text();
        name.remove(QStringLiteral(" :"));
        EXPECT_EQ(field->accessibleName(), name);
    }
}

// --- the toolkit services on the real widgets ---

class Recorder : public fw::ToolkitEvents {
public:
    void optionClicked(fw::Ctl c) override { options.push_back(c); }
    void listClicked(fw::Ctl c) override { lists.push_back(c); }
    std::vector<fw::Ctl> options, lists;
};

class QtToolkitTest : public Form1Test {
protected:
    QtToolkitTest() : tk(window, ui) { tk.setEvents(&events); }
    fw::QtToolkit tk;
    Recorder events;
};

TEST_F(QtToolkitTest, ButtonColourRoundTripsInBgrForm)
{
    tk.setBackColour(fw::Ctl::cmdSTART, fw::kStartColourInitial);
    EXPECT_EQ(ui.cmdSTART->palette().color(QPalette::Button), QColor(255, 128, 128));
    tk.setBackColour(fw::Ctl::cmdSTART, fw::kStartColourArmed);
    EXPECT_EQ(ui.cmdSTART->palette().color(QPalette::Button), QColor(128, 255, 128));
    EXPECT_EQ(tk.backColour(fw::Ctl::cmdSTART), 0x80FF80u);
}

TEST_F(QtToolkitTest, ProgramSelectionRunsTheHandlersLikeAClick)
{
    tk.select(fw::Ctl::OptUSB);
    EXPECT_TRUE(ui.OptUSB->isChecked());
    tk.select(fw::Ctl::OptSerial);
    EXPECT_FALSE(ui.OptUSB->isChecked());
    ui.OptEthernet->click();
    EXPECT_EQ(events.options,
              (std::vector{fw::Ctl::OptUSB, fw::Ctl::OptSerial, fw::Ctl::OptEthernet}));

    tk.addItem(fw::Ctl::cboPORT, "COM1");
    tk.addItem(fw::Ctl::cboPORT, "COM2");
    EXPECT_EQ(tk.listIndex(fw::Ctl::cboPORT), -1); // appending selects nothing
    EXPECT_TRUE(events.lists.empty());
    tk.setListIndex(fw::Ctl::cboPORT, 1);
    EXPECT_EQ(tk.listText(fw::Ctl::cboPORT), "COM2");
    EXPECT_EQ(events.lists, std::vector{fw::Ctl::cboPORT});
}

TEST_F(QtToolkitTest, ProgressBarKeepsASinglePrecisionRange)
{
    tk.setProgressMax(4.0e9f); // beyond the widget's int range
    EXPECT_TRUE(tk.setProgressValue(2.0e9f));
    EXPECT_NEAR(double(ui.ProgressBar->value()) / ui.ProgressBar->maximum(), 0.5, 1e-6);
    EXPECT_FALSE(tk.setProgressValue(5.0e9f)); // above the maximum: refused
    EXPECT_EQ(tk.progressValue(), 2.0e9f);
    EXPECT_FALSE(tk.setProgressValue(-1.0f));
}

TEST_F(QtToolkitTest, TabGoesFromDownloadStartToTheSelectedInterface)
{
    struct Case {
        fw::Ctl option;
        QWidget* frame;
        QStringList stops; // focus after each Tab from cmdSTART
    };
    const Case cases[] = {
        {fw::Ctl::OptSerial,
         ui.FrameSerial,
         {"OptSerial", "cboHandShake", "cboStopBit", "cboParity", "cboBitLength", "cboBaudRate",
          "cboPORT", "cmdClose", "cmdCancel", "cmdSTART"}},
        {fw::Ctl::OptUSB, ui.FrameUSB, {"OptUSB", "cmdClose", "cmdCancel", "CboUSB", "cmdSTART"}},
        {fw::Ctl::OptEthernet,
         ui.FrameEthernet,
         {"OptEthernet", "cmdClose", "cmdCancel", "TextEthernet", "cmdSTART"}},
    };
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stops.front().toStdString());
        tk.select(c.option);
        for (QWidget* f : {ui.FrameSerial, ui.FrameUSB, ui.FrameEthernet})
            f->setVisible(f == c.frame);
        ui.cmdSTART->setFocus();
        QStringList stops;
        while (stops.size() < c.stops.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            stops << QApplication::focusWidget()->objectName();
        }
        EXPECT_EQ(stops.join(' ').toStdString(), c.stops.join(' ').toStdString());
    }
}

TEST_F(QtToolkitTest, HourglassIsTheWindowsOwnPointer)
{
    // A box or a dialog opened during a download keeps the normal pointer.
    tk.setPointer(fw::Pointer::Hourglass);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.cursor().shape(), Qt::WaitCursor);
    tk.setPointer(fw::Pointer::Normal);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(window.cursor().shape(), Qt::ArrowCursor);
}

QLineEdit& nameBox(QFileDialog& d)
{
    auto* e = d.findChild<QLineEdit*>("fileNameEdit");
    EXPECT_NE(e, nullptr);
    return *e;
}

TEST_F(QtToolkitTest, OpenDialogRefusesAFolderThatDoesNotExistWhenAsked)
{
    QTemporaryDir dir;
    const QString missingFile = dir.path() + "/MISSING.DPX";
    const QString missingFolder = dir.path() + "/nonexistent/x.DPX";
    struct Case {
        QString typed;
        unsigned flags;
        bool refused; // the dialog stays open with a warning
    };
    const unsigned openStep = fw::kOfnReadOnly | fw::kOfnHideReadOnly | fw::kOfnPathMustExist;
    const Case cases[] = {
        {missingFolder, openStep, true},
        {missingFile, openStep, false}, // the file itself need not exist
        {missingFolder, fw::kOfnHideReadOnly, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString() + " flags " + std::to_string(c.flags));
        fw::ModalResponder user(5000);
        user.files << c.typed; // typed and Open pressed; a second showing is cancelled
        fw::OpenDialogSetup setup;
        setup.flags = c.flags;
        setup.title = "Open";
        setup.initialDir = dir.path().toStdString();
        setup.filter = "Firmware File(*.DPX)|*.DPX";
        const fw::OpenDialogResult r = tk.showOpenDialog(setup);
        EXPECT_EQ(r.fileName, c.refused ? std::string() : c.typed.toStdString());
        EXPECT_EQ(user.boxes.size(), c.refused ? 1 : 0);
        EXPECT_EQ(user.dialogsAnswered, c.refused ? 2 : 1);
    }
}

TEST_F(QtToolkitTest, OpenDialogLeavesNoCompletionListBehind)
{
    QTemporaryDir dir;
    for (const char* name : {"FIRMWARE_A.DPX", "FIRMWARE_B.DPX"})
        std::ofstream((dir.path() + "/" + name).toStdString()) << "x";
    QAbstractItemView* popup = nullptr;
    bool shown = false;
    fw::ModalResponder user(10000);
    user.onDialog = [&](QFileDialog& d) {
        QLineEdit& box = nameBox(d);
        box.setFocus();
        QTest::keyClicks(&box, "FIRM"); // the user types, the list of matches opens
        popup = box.completer() ? box.completer()->popup() : nullptr;
        shown = popup && QTest::qWaitFor([&] { return popup->isVisible(); }, 5000);
        QTest::keyClicks(&box, "WARE_A.DPX");
        QMetaObject::invokeMethod(&d, "accept", Qt::QueuedConnection);
    };
    fw::OpenDialogSetup setup;
    setup.flags = fw::kOfnPathMustExist;
    setup.initialDir = dir.path().toStdString();
    setup.filter = "Firmware File(*.DPX)|*.DPX";
    const fw::OpenDialogResult r = tk.showOpenDialog(setup);
    EXPECT_EQ(r.fileTitle, "FIRMWARE_A.DPX");
    ASSERT_TRUE(shown);
    EXPECT_FALSE(popup->isVisible());
    QTest::qWait(100);
    EXPECT_FALSE(popup->isVisible());
}

// The counter and the bar carry the frame's picture beneath them, so that
// their repaints leave the frame alone: they must look exactly as in a window
// where they are see-through, also after the counter has grown.
TEST_F(QtToolkitTest, CounterAndBarLookAsIfSeeThrough)
{
    QMainWindow plainWindow;
    Ui::Form1 plain;
    plain.setupUi(&plainWindow);
    window.show();
    plainWindow.show();
    tk.setVisible(fw::Ctl::ProgressBar, true);
    tk.setProgressMax(12345678.0f);
    tk.setProgressValue(4000000.0f);
    plain.ProgressBar->setRange(ui.ProgressBar->minimum(), ui.ProgressBar->maximum());
    plain.ProgressBar->setValue(ui.ProgressBar->value());
    plain.ProgressBar->setVisible(true);
    for (const char* counter : {"0/1.234568E+07", "4000000/1.234568E+07"}) {
        SCOPED_TRACE(counter);
        tk.setText(fw::Ctl::Label3, counter);
        plain.Label3->setText(ui.Label3->text());
        plain.Label3->setGeometry(ui.Label3->geometry());
        const QRect area = ui.Frame1->geometry();
        EXPECT_EQ(window.centralWidget()->grab(area).toImage(),
                  plainWindow.centralWidget()->grab(area).toImage());
    }
}

TEST_F(QtToolkitTest, CounterGrowsLeftFromTheBarsRightEdge)
{
    const int right = ui.Label3->geometry().right();
    tk.setText(fw::Ctl::Label3, "1048576/1.234568E+07");
    EXPECT_EQ(ui.Label3->geometry().right(), right);
    EXPECT_GE(ui.Label3->width(),
              QFontMetrics(ui.Label3->font()).horizontalAdvance(ui.Label3->text()));
}

} // namespace
