// Downloads through the real window and the real libTAVLIB.so to printers of
// a umockdev test bed: the printer chosen in CboUSB receives the records the
// answer calls for, and one pulled out mid-transfer ends with
// "Communication Error." and leaves the window ready for the next download.
#include "e2e_support.h"
#include "printer_sim.h"
#include "ui_Form1.h"
#include "usb_testbed.h"
#include "window/qt_toolkit.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleFactory>
#include <QTest>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <thread>

namespace fw::e2e {
namespace {

using samples::Shape;
using test::UsbTestbed;

// Both accepted by the library, so CboUSB lists USB001 and USB002.
const test::UsbPrinterInfo kFirst{0x0483, 0x7C10, "E2E1"};
const test::UsbPrinterInfo kSecond{0x067B, 0x2305, "E2E2"};

// The simulator on one printer's end of the test bed. `unplugOnHangUp` pulls
// the printer out of the test bed once the simulator has hung up.
struct UsbPrinter {
    UsbPrinter(UsbTestbed& bed, int number, sim::PrinterScript script, bool unplugOnHangUp = false)
        : sim(bed.printerFd(number), std::move(script))
    {
        thread = std::thread([this, &bed, number, unplugOnHangUp] {
            sim.run();
            if (unplugOnHangUp && sim.hungUp())
                bed.unplug(number);
        });
    }
    ~UsbPrinter()
    {
        sim.stop();
        thread.join();
    }
    sim::PrinterSimulator sim;
    std::thread thread;
};

std::vector<std::uint8_t> joined(const std::vector<samples::Bytes>& records)
{
    std::vector<std::uint8_t> all;
    for (const auto& r : records)
        all.insert(all.end(), r.begin(), r.end());
    return all;
}

// The user moves the list's selection with the keyboard, as a click would.
void pick(QComboBox& list, Qt::Key key)
{
    QTest::keyClick(&list, key);
}

void expectUnlocked(MainWindow& window)
{
    Ui::Form1& f = window.controls();
    for (QWidget* w : std::initializer_list<QWidget*>{
             f.OptSerial, f.OptUSB, f.OptEthernet, f.cboPORT, f.cmdSTART, f.cmdCancel, f.cmdClose})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

class UsbDownload : public ::testing::Test {
protected:
    void SetUp() override
    {
        first = bed.addPrinter(kFirst);
        second = bed.addPrinter(kSecond);
    }
    UsbTestbed bed;
    int first = -1;
    int second = -1;
    ProgramFolder folder;
};

struct Case {
    const char* answer; // nullptr: the printer keeps silent
    Shape shape;
    bool fromSecondRecord;
};

void PrintTo(const Case& c, std::ostream* os)
{
    *os << (c.answer ? c.answer : "silent");
}

class UsbAnswers : public UsbDownload, public ::testing::WithParamInterface<Case> {};

TEST_P(UsbAnswers, PrinterChosenInCboUsbReceivesTheRecords)
{
    const Case c = GetParam();
    folder.writeSettings("[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=1\r\n");
    const samples::Package pkg = samples::make(c.shape, false, 10, 40);
    const std::string path = folder.addPackage(pkg);

    sim::PrinterScript script;
    script.answer = c.answer ? std::optional<std::string>(c.answer) : std::nullopt;
    script.packageRecords = sim::splitPackage(pkg.bytes);
    UsbPrinter printer(bed, second, script);

    // Fast time only shortens the 100 ms pauses after each record for "MDL40".
    FastClock clock(10);
    ProgramWindow window(folder.str(), &clock);
    window->startUp();
    window->show();
    Ui::Form1& f = window->controls();
    ASSERT_EQ(f.CboUSB->count(), 2);
    EXPECT_EQ(f.CboUSB->itemText(0), "USB001");
    EXPECT_EQ(f.CboUSB->itemText(1), "USB002");
    EXPECT_EQ(f.CboUSB->currentIndex(), 1);
    ASSERT_TRUE(f.OptUSB->isChecked());
    ASSERT_EQ(window->state().usbDevicePath.size(), 256u);
    EXPECT_EQ(window->state().usbDevicePath.substr(0, window->state().usbDevicePath.find('\0')),
              bed.devicePath(second));

    ASSERT_EQ(downloadThroughWindow(window, path), QStringList{"Download Success."});

    const auto received = printer.sim.received();
    const auto& query = sim::modelQuery();
    ASSERT_GE(received.size(), query.size());
    EXPECT_TRUE(std::equal(query.begin(), query.end(), received.begin()));
    std::size_t start = samples::offsetAfterHeader(pkg.bytes);
    if (c.fromSecondRecord)
        start = samples::recordsFrom(pkg.bytes, 0).front().size() + 2;
    const auto expected = samples::recordsFrom(pkg.bytes, start);
    EXPECT_EQ(std::vector<std::uint8_t>(received.begin() + static_cast<long>(query.size()),
                                        received.end()),
              joined(expected));
    // Without acknowledgements or pauses the records run together at the
    // printer's end and only their bytes can be compared.
    if (c.answer) {
        EXPECT_EQ(printer.sim.records(), expected) << "one write per record";
    }
    EXPECT_TRUE(bed.receive(first, 1, 20).empty()) << "the other printer got bytes";
    expectUnlocked(window);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UsbAnswers,
    ::testing::Values(Case{"K20_T", Shape::Header90, false},
                      Case{"TV-K3", Shape::ModelHeader93, false},
                      Case{"MDL40", Shape::ModelOnly, true},
                      // No answer: the library's read time-out, then no acknowledgements awaited.
                      Case{nullptr, Shape::Plain, false}),
    [](const ::testing::TestParamInfo<Case>& i) {
        std::string name = i.param.answer ? i.param.answer : "silent";
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

// Over USB the model answer is one read: an answer in two pieces is no
// answer, and a package with a model record then fits no printer.
TEST_F(UsbDownload, AnswerInTwoPiecesIsNoAnswer)
{
    folder.writeSettings("[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=1\r\n");
    const samples::Package pkg = samples::make(Shape::ModelOnly, false, 4, 40);
    sim::PrinterScript script;
    script.answerPieces = {2};
    script.packageRecords = sim::splitPackage(pkg.bytes);
    UsbPrinter printer(bed, second, script);

    ProgramWindow window(folder.str());
    window->startUp();
    window->show();
    EXPECT_EQ(downloadThroughWindow(window, folder.addPackage(pkg)),
              QStringList{"Invalid Printer model data"});
    EXPECT_EQ(printer.sim.received(), sim::modelQuery());
    expectUnlocked(window);
}

TEST_F(UsbDownload, PrinterPulledOutMidTransferThenTheOtherOneWorks)
{
    folder.writeSettings("[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=0\r\n");
    const samples::Package pkg = samples::make(Shape::Plain, false, 8, 40);
    const std::string path = folder.addPackage(pkg);

    // A 5-second acknowledgement wait costs a tenth of that here.
    FastClock clock(10);
    ProgramWindow window(folder.str(), &clock);
    window->startUp();
    window->show();
    Ui::Form1& f = window->controls();
    ASSERT_TRUE(f.OptUSB->isChecked());
    ASSERT_EQ(f.CboUSB->currentIndex(), 0);

    {
        sim::PrinterScript script;
        script.packageRecords = sim::splitPackage(pkg.bytes);
        script.hangUpRecord = 3;
        UsbPrinter printer(bed, second, script, true);
        pick(*f.CboUSB, Qt::Key_Down); // the user picks USB002
        ASSERT_EQ(window->state().usbDevicePath.substr(0, window->state().usbDevicePath.find('\0')),
                  bed.devicePath(second));

        EXPECT_EQ(downloadThroughWindow(window, path), QStringList{"Communication Error."});
        EXPECT_TRUE(printer.sim.hungUp());
        const auto records = printer.sim.records();
        ASSERT_EQ(records.size(), 3u) << "nothing after the printer went away";
        const auto sent = samples::recordsFrom(pkg.bytes, 0);
        EXPECT_EQ(records, std::vector<samples::Bytes>(sent.begin(), sent.begin() + 3));
    }
    expectUnlocked(window);
    // The counter stands at the two acknowledged records.
    const auto all = samples::recordsFrom(pkg.bytes, 0);
    EXPECT_EQ(f.Label3->text().toStdString(),
              std::to_string(all[0].size() + 2 + all[1].size() + 2) + "/" +
                  std::to_string(pkg.bytes.size()));

    // The window takes the next download: the printer still plugged in.
    sim::PrinterScript script;
    script.packageRecords = sim::splitPackage(pkg.bytes);
    UsbPrinter other(bed, first, script);
    pick(*f.CboUSB, Qt::Key_Up);
    ASSERT_EQ(window->state().usbDevicePath.substr(0, window->state().usbDevicePath.find('\0')),
              bed.devicePath(first));
    EXPECT_EQ(downloadThroughWindow(window, path), QStringList{"Download Success."});
    EXPECT_EQ(other.sim.records(), samples::recordsFrom(pkg.bytes, 0));
    expectUnlocked(window);
}

} // namespace
} // namespace fw::e2e

// Qt widgets on the offscreen platform, and a skip (77) when the binary does
// not run under umockdev-wrapper.
int main(int argc, char** argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setStyle(QStyleFactory::create("Fusion"));
    ::testing::InitGoogleTest(&argc, argv);
    if (!::testing::GTEST_FLAG(list_tests)) {
        fw::test::UsbTestbed probe;
        if (!probe.available()) {
            std::fprintf(stderr, "not running under umockdev-wrapper: skipped\n");
            return 77;
        }
    }
    return RUN_ALL_TESTS();
}
