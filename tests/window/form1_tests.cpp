// The stored design of Form1 against its layout table, and the toolkit
// services on the real widgets.
#include "modal_responder.h"
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

#include <fstream>
#include <vector>

namespace {

struct Row {
    const char* name;
    const char* kind;
    const char* container; // "" for the window
    const char* text;
    int left, top, width, height; // twips
    bool rightAligned;
};

// Positions in twips, 15 to the pixel.
const Row kLayout[] = {
    {"ProgressBar", "QProgressBar", "", "", 7860, 2190, 4095, 255, false},
    {"cmdCancel", "QPushButton", "", "Cancel", 8670, 5610, 1635, 525, false},
    {"cmdClose", "QPushButton", "", "&OK", 10410, 5610, 1635, 525, false},
    {"Frame2", "QGroupBox", "", "[ Interface ]", 3330, 120, 4185, 795, false},
    {"OptSerial", "QRadioButton", "Frame2", "Serial", 500, 360, 795, 255, false},
    {"OptUSB", "QRadioButton", "Frame2", "USB", 1600, 360, 795, 255, false},
    {"OptEthernet", "QRadioButton", "Frame2", "EThernet", 2500, 360, 1065, 255, false},
    {"cmdSTART", "QPushButton", "", "Download Start", 10350, 3270, 1635, 525, false},
    {"Frame1", "QGroupBox", "", "[ Information File ]", 7620, 90, 4515, 5355, false},
    {"Label3", "QLabel", "Frame1", "0/0", 4080, 2520, 255, 225, true},
    {"lblSize", "QLabel", "Frame1", "Size Total: ", 240, 1350, 3135, 315, false},
    {"lblFileName", "QLabel", "Frame1", "fileName ", 240, 840, 4155, 400, false},
    {"lblFileType", "QLabel", "Frame1", "file Type: Font", 240, 360, 2175, 315, false},
    {"FrameSerial", "QGroupBox", "", "[ Serial Port Setting ]", 3330, 930, 4185, 4515, false},
    {"cboPORT", "QComboBox", "FrameSerial", "", 1860, 360, 1575, 345, false},
    {"cboBaudRate", "QComboBox", "FrameSerial", "", 1860, 780, 1575, 345, false},
    {"cboBitLength", "QComboBox", "FrameSerial", "", 1860, 1200, 1575, 345, false},
    {"cboParity", "QComboBox", "FrameSerial", "", 1860, 1620, 1575, 345, false},
    {"cboStopBit", "QComboBox", "FrameSerial", "", 1860, 2040, 1575, 345, false},
    {"cboHandShake", "QComboBox", "FrameSerial", "", 1860, 2460, 1575, 345, false},
    {"Label1_0", "QLabel", "FrameSerial", "Port :", 240, 420, 1515, 255, true},
    {"Label1_1", "QLabel", "FrameSerial", "Baudrate :", 240, 840, 1515, 255, true},
    {"Label1_2", "QLabel", "FrameSerial", "BitLength :", 240, 1260, 1515, 255, true},
    {"Label1_3", "QLabel", "FrameSerial", "Parity :", 240, 1680, 1515, 255, true},
    {"Label1_4", "QLabel", "FrameSerial", "StopBit :", 240, 2100, 1515, 255, true},
    {"Label1_5", "QLabel", "FrameSerial", "Handshake :", 240, 2520, 1515, 255, true},
    {"FrameUSB", "QGroupBox", "", "[ USB Port Setting ]", 3330, 930, 4185, 4515, false},
    {"CboUSB", "QComboBox", "FrameUSB", "", 1860, 300, 1575, 345, false},
    {"Label1_6", "QLabel", "FrameUSB", "Port :", 240, 360, 1515, 255, true},
    {"FrameEthernet", "QGroupBox", "", "[ Ethernet TCP/IP Setting ]", 3330, 930, 4185, 4515, false},
    {"TextEthernet", "QLineEdit", "FrameEthernet", "192.168.10.10", 1860, 300, 1800, 405, false},
    {"Label1_7", "QLabel", "FrameEthernet", "IP Address :", 240, 360, 1515, 255, true},
    {"Image2", "QLabel", "", "", 120, 90, 3075, 6075, false},
};

int px(int twips) { return (twips + 7) / 15; }

QString textOf(QWidget* w)
{
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    return {};
}

class Form1Test : public ::testing::Test {
protected:
    Form1Test() { ui.setupUi(&window); }
    QMainWindow window;
    Ui::Form1 ui;
};

TEST_F(Form1Test, EveryControlMatchesTheLayoutTable)
{
    QWidget* client = window.centralWidget();
    for (const Row& r : kLayout) {
        SCOPED_TRACE(r.name);
        auto* w = window.findChild<QWidget*>(r.name);
        ASSERT_NE(w, nullptr);
        EXPECT_STREQ(w->metaObject()->className(), r.kind);
        QWidget* container = *r.container ? window.findChild<QWidget*>(r.container) : client;
        EXPECT_EQ(w->parentWidget(), container);
        EXPECT_EQ(textOf(w), QString::fromUtf8(r.text));
        EXPECT_EQ(w->geometry(), QRect(px(r.left), px(r.top), px(r.width), px(r.height)));
        if (auto* l = qobject_cast<QLabel*>(w); l && *r.text) {
            EXPECT_EQ(bool(l->alignment() & Qt::AlignRight), r.rightAligned);
        }
    }
}

TEST_F(Form1Test, ControlsListedEarlierAreDrawnInFront)
{
    // Qt paints later siblings over earlier ones: the table's order reversed.
    QWidget* client = window.centralWidget();
    std::vector<QString> expected;
    for (const Row& r : kLayout)
        if (!*r.container)
            expected.insert(expected.begin(), r.name);
    std::vector<QString> actual;
    for (QObject* o : client->children())
        if (auto* w = qobject_cast<QWidget*>(o))
            actual.push_back(w->objectName());
    EXPECT_EQ(actual, expected);
}

TEST_F(Form1Test, TabOrderFollowsTheTabIndex)
{
    const std::vector<QString> expected = {
        "cmdSTART", "OptEthernet", "OptUSB", "OptSerial", "cboHandShake", "cboStopBit",
        "cboParity", "cboBitLength", "cboBaudRate", "cboPORT", "cmdClose", "cmdCancel",
        "CboUSB", "TextEthernet"};
    std::vector<QString> actual;
    QWidget* w = ui.cmdSTART;
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            actual.push_back(w->objectName());
        w = w->nextInFocusChain();
    } while (w != ui.cmdSTART && actual.size() < 40);
    EXPECT_EQ(actual, expected);
}

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
    EXPECT_EQ(events.options, (std::vector{fw::Ctl::OptUSB, fw::Ctl::OptSerial, fw::Ctl::OptEthernet}));

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
        {fw::Ctl::OptSerial, ui.FrameSerial,
         {"OptSerial", "cboHandShake", "cboStopBit", "cboParity", "cboBitLength", "cboBaudRate",
          "cboPORT", "cmdClose", "cmdCancel", "cmdSTART"}},
        {fw::Ctl::OptUSB, ui.FrameUSB, {"OptUSB", "cmdClose", "cmdCancel", "CboUSB", "cmdSTART"}},
        {fw::Ctl::OptEthernet, ui.FrameEthernet,
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

TEST_F(QtToolkitTest, CounterGrowsLeftFromTheBarsRightEdge)
{
    const int right = ui.Label3->geometry().right();
    tk.setText(fw::Ctl::Label3, "1048576/1.234568E+07");
    EXPECT_EQ(ui.Label3->geometry().right(), right);
    EXPECT_GE(ui.Label3->width(), QFontMetrics(ui.Label3->font()).horizontalAdvance(ui.Label3->text()));
}

} // namespace
