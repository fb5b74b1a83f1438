// Start-up of the real window on Qt's offscreen platform, with a stand-in
// TAVLIB beside the program reporting 0, 2, 12, 100 or -1 printers and the
// settings files a user may leave behind; then what "&OK" stores and what
// Cancel, Exit and closing the window leave alone.
#include "modal_responder.h"
#include "program_window.h"
#include "standin_control.h"
#include "ui_Form1.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace fw {
namespace {

namespace fs = std::filesystem;

using test::ProgramWindow;
using test::StandinTavlib;

// A program folder with the stand-in library beside the program, reporting
// `printers` printers (-1: the search fails).
class ProgramDir {
public:
    explicit ProgramDir(int printers)
    {
        std::string templ = (fs::temp_directory_path() / "fw-start-XXXXXX").string();
        if (!::mkdtemp(templ.data()))
            throw std::runtime_error("mkdtemp failed");
        dir_ = templ;
        fs::create_symlink(StandinTavlib::file(), dir_ / "libTAVLIB.so");
        standin_ = std::make_unique<StandinTavlib>(dir_ / "libTAVLIB.so");
        if (!standin_->error().empty())
            throw std::runtime_error(standin_->error());
        standin_->setPrinters(printers);
    }
    ~ProgramDir()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string str() const { return dir_.string(); }
    // The library the window loads from this folder.
    StandinTavlib& standin() const { return *standin_; }
    fs::path settingsPath() const { return dir_ / "Firmware.ini"; }
    void writeSettings(const std::string& text) const
    {
        std::ofstream(settingsPath(), std::ios::binary | std::ios::trunc) << text;
    }
    std::string readSettings() const
    {
        std::ifstream in(settingsPath(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

private:
    fs::path dir_;
    std::unique_ptr<StandinTavlib> standin_;
};

// The message boxes start-up shows, with their icon and title.
struct SeenBox {
    QString text;
    QMessageBox::Icon icon;
    QString title;
};

// Starts the window as the program does and shows it; boxes shown during
// start-up are answered with OK and noted.
struct Started {
    explicit Started(const ProgramDir& dir)
    {
        {
            ModalResponder user(10000);
            user.onBox = [this](QMessageBox& box) {
                boxes.push_back({box.text(), box.icon(), box.windowTitle()});
            };
            program = std::make_unique<ProgramWindow>(dir.str());
            window().startUp();
            EXPECT_TRUE(user.stuck.isEmpty()) << user.stuck.join(" | ").toStdString();
        }
        window().show();
    }
    MainWindow& window() { return **program; }
    Ui::Form1& f() { return window().controls(); }
    std::string device() { return window().state().usbDevicePath; }

    std::vector<SeenBox> boxes;
    std::unique_ptr<ProgramWindow> program;
};

QStringList entries(const QComboBox& list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.itemText(i);
    return out;
}

// The user moves a list's selection with the keyboard, as a click would.
void press(QWidget& w, Qt::Key key, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(&w, key);
}

// ---------------------------------------------------------------- start-up

enum class Opt { None, Serial, Usb, Ethernet };

struct StartCase {
    const char* name;
    int printers;
    const char* settings; // nullptr: no settings file
    Opt option;           // also the one visible frame; None: frames as designed
    const char* port;     // cboPORT text, "" when nothing is selected
    int usbIndex;         // CboUSB selection
    const char* device;   // the USB device path kept; "" for 256 blanks; nullptr: never set
    const char* baud;
    const char* parity;
    const char* address;
    bool warning; // "Not Connect USB Device and Power off!"
};

void PrintTo(const StartCase& c, std::ostream* os)
{
    *os << c.name;
}

class StartUp : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartUp, WindowShowsTheStoredChoice)
{
    const StartCase c = GetParam();
    ProgramDir dir(c.printers);
    if (c.settings)
        dir.writeSettings(c.settings);
    const std::string before = dir.readSettings();
    Started s(dir);
    Ui::Form1& f = s.f();

    // The warning comes before the window is shown, with its own title and icon.
    if (c.warning) {
        ASSERT_EQ(s.boxes.size(), 1u);
        EXPECT_EQ(s.boxes[0].text, "Not Connect USB Device and Power off!");
        EXPECT_EQ(s.boxes[0].icon, QMessageBox::Warning);
        EXPECT_EQ(s.boxes[0].title, "Firmware Downloader");
    } else {
        EXPECT_TRUE(s.boxes.empty()) << s.boxes.front().text.toStdString();
    }

    // The USB list: the printers found, or "LPT1" and no USB in this run.
    const bool listed = c.printers >= 1 && c.printers <= 99;
    EXPECT_EQ(f.OptUSB->isEnabled(), listed);
    EXPECT_EQ(s.window().state().usbPrintersListed, listed);
    if (listed) {
        ASSERT_EQ(f.CboUSB->count(), c.printers);
        EXPECT_EQ(f.CboUSB->itemText(0), "USB001");
        EXPECT_EQ(f.CboUSB->itemText(c.printers - 1),
                  QString("USB%1").arg(c.printers, 3, 10, QChar('0')));
    } else {
        EXPECT_EQ(entries(*f.CboUSB), QStringList{"LPT1"});
    }
    EXPECT_EQ(f.CboUSB->currentIndex(), c.usbIndex);
    if (!c.device) {
        EXPECT_EQ(s.device(), "");
    } else {
        // The path, its NUL, then blanks: 256 characters in all.
        std::string expected(c.device);
        if (!expected.empty())
            expected += '\0';
        expected.resize(256, ' ');
        EXPECT_EQ(s.device(), expected);
    }

    // The interface and its frame.
    EXPECT_EQ(f.OptSerial->isChecked(), c.option == Opt::Serial);
    EXPECT_EQ(f.OptUSB->isChecked(), c.option == Opt::Usb);
    EXPECT_EQ(f.OptEthernet->isChecked(), c.option == Opt::Ethernet);
    if (c.option == Opt::None) {
        ProgramWindow designed(dir.str());
        EXPECT_EQ(f.FrameSerial->isHidden(), designed->controls().FrameSerial->isHidden());
        EXPECT_EQ(f.FrameUSB->isHidden(), designed->controls().FrameUSB->isHidden());
        EXPECT_EQ(f.FrameEthernet->isHidden(), designed->controls().FrameEthernet->isHidden());
    } else {
        EXPECT_EQ(f.FrameSerial->isVisible(), c.option == Opt::Serial);
        EXPECT_EQ(f.FrameUSB->isVisible(), c.option == Opt::Usb);
        EXPECT_EQ(f.FrameEthernet->isVisible(), c.option == Opt::Ethernet);
    }

    // The serial lists and the address.
    EXPECT_EQ(f.cboPORT->currentText(), c.port);
    EXPECT_EQ(f.cboBaudRate->currentText(), c.baud);
    EXPECT_EQ(f.cboParity->currentText(), c.parity);
    EXPECT_EQ(f.cboBitLength->currentText(), "8 bit");
    EXPECT_EQ(f.cboStopBit->currentText(), "1 bit");
    EXPECT_EQ(f.cboHandShake->currentText(), "DTR/DSR");
    EXPECT_EQ(f.TextEthernet->text(), c.address);
    EXPECT_TRUE(s.window().isVisible());

    // Starting reads; it never writes.
    EXPECT_EQ(dir.readSettings(), before);
    EXPECT_EQ(fs::exists(dir.settingsPath()), c.settings != nullptr);
}

const char* const kDefaultAddress = "192.168.0.10";

INSTANTIATE_TEST_SUITE_P(
    SettingsAndPrinters, StartUp,
    ::testing::Values(
        StartCase{"FirstRunTwoPrinters", 2, nullptr, Opt::None, "", 0, "/dev/usb/lp0", "2400 bps",
                  "NONE", kDefaultAddress, false},
        StartCase{"FirstRunTwelvePrinters", 12, nullptr, Opt::None, "", 0, "/dev/usb/lp0",
                  "2400 bps", "NONE", kDefaultAddress, false},
        StartCase{"FirstRunNoPrinter", 0, nullptr, Opt::None, "", -1, nullptr, "2400 bps", "NONE",
                  kDefaultAddress, false},
        StartCase{"Serial", 2,
                  "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=2\r\nBaudRate=2\r\nParity="
                  "1\r\nTcpIp=10.1.2.3\r\n",
                  Opt::Serial, "COM3", 0, "/dev/usb/lp0", "9600 bps", "EVEN", "10.1.2.3", false},
        StartCase{"UsbSecondOfTwo", 2, "[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=1\r\n",
                  Opt::Usb, "COM1", 1, "/dev/usb/lp1", "2400 bps", "NONE", kDefaultAddress, false},
        StartCase{"UsbTwelfthOfTwelve", 12,
                  "[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=11\r\nBaudRate=6\r\n", Opt::Usb,
                  "COM1", 11, "/dev/usb/lp11", "115200 bps", "NONE", kDefaultAddress, false},
        StartCase{"UsbStoredNoPrinterWarns", 0,
                  "[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=3\r\n", Opt::Serial, "COM4", -1,
                  nullptr, "2400 bps", "NONE", kDefaultAddress, true},
        StartCase{"UsbStoredSearchFailed", -1,
                  "[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=3\r\n", Opt::Serial, "COM4", -1,
                  nullptr, "2400 bps", "NONE", kDefaultAddress, false},
        StartCase{"UsbStoredHundredPrinters", 100,
                  "[PRINTFirmware]\r\nInterface=2\r\nInterfaceSel=3\r\n", Opt::Serial, "COM4", -1,
                  nullptr, "2400 bps", "NONE", kDefaultAddress, false},
        StartCase{"EthernetNoPrinter", 0,
                  "[PRINTFirmware]\r\nInterface=3\r\nInterfaceSel=4\r\nTcpIp=printer.local\r\n",
                  Opt::Ethernet, "COM1", 0, "", "2400 bps", "NONE", "printer.local", false},
        StartCase{"EthernetTwoPrinters", 2,
                  "[PRINTFirmware]\r\nInterface=3\r\nTcpIp= 10.0.0.7 \r\n", Opt::Ethernet, "COM1",
                  0, "/dev/usb/lp0", "2400 bps", "NONE", "10.0.0.7", false},
        // Nothing usable: every list falls back to its first entry, the
        // interface to none, an empty address to the default.
        StartCase{
            "GarbageEverywhere", 2,
            "[PRINTFirmware]\r\nInterface=02\r\nInterfaceSel=1\r\nBaudRate=7\r\nBitLength=-1\r\n"
            "Parity=x\r\nStopBit=abc\r\nHandShake=1e9\r\nTcpIp=\r\n",
            Opt::None, "", 0, "/dev/usb/lp0", "2400 bps", "NONE", kDefaultAddress, false},
        // Names in other case; numbers rounded half to even; 9.6 of ten
        // entries is taken as the last entry.
        StartCase{"NumbersNotWhole", 2,
                  "[printfirmware]\r\nINTERFACE=1\r\ninterfacesel=9.6\r\nBaudRate=2.5\r\nParity=1."
                  "5xyz\r\n",
                  Opt::Serial, "COM10", 0, "/dev/usb/lp0", "9600 bps", "ODD", kDefaultAddress,
                  false},
        StartCase{
            "NegativePositions", 2,
            "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=-1\r\nBaudRate=-0.4\r\nParity=3\r\n",
            Opt::Serial, "COM1", 0, "/dev/usb/lp0", "2400 bps", "NONE", kDefaultAddress, false}),
    [](const ::testing::TestParamInfo<StartCase>& i) { return std::string(i.param.name); });

TEST(StartUpLists, PickingAPrinterAsksTheLibraryForItsPosition)
{
    ProgramDir dir(12);
    Started s(dir);
    Ui::Form1& f = s.f();
    ASSERT_EQ(f.CboUSB->count(), 12);
    press(*f.CboUSB, Qt::Key_Down, 2);
    EXPECT_EQ(f.CboUSB->currentText(), "USB003");
    EXPECT_NE(dir.standin().log().find("usb_device_name(2)\n"), std::string::npos)
        << dir.standin().log();
    std::string expected = "/dev/usb/lp2";
    expected += '\0';
    expected.resize(256, ' ');
    EXPECT_EQ(s.device(), expected);
}

// ------------------------------------------------------------ leaving

const std::string kKept =
    "; kept as it was\r\n"
    "[Other]\r\nInterface=9\r\n"
    "\r\n"
    "[PRINTFirmware]\r\nInterface=3\r\nInterfaceSel=5\r\nExtra=keep\r\nTcpIp=10.0.0.1\r\n";

TEST(OkButton, SerialChoiceReplacesOnlyItsKeys)
{
    ProgramDir dir(2);
    dir.writeSettings(kKept);
    Started s(dir);
    Ui::Form1& f = s.f();
    ASSERT_TRUE(f.OptEthernet->isChecked());
    f.OptSerial->click();
    press(*f.cboPORT, Qt::Key_Down, 2);     // COM1, as Ethernet left it, to COM3
    press(*f.cboBaudRate, Qt::Key_Down, 2); // 9600 bps
    ASSERT_EQ(f.cboPORT->currentText(), "COM3");
    ASSERT_EQ(f.cboBaudRate->currentText(), "9600 bps");
    f.cmdClose->click();
    EXPECT_FALSE(s.window().isVisible());
    EXPECT_EQ(dir.readSettings(),
              "; kept as it was\r\n"
              "[Other]\r\nInterface=9\r\n"
              "\r\n"
              "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=2\r\nExtra=keep\r\n"
              "TcpIp=10.0.0.1\r\nBaudRate=2\r\nBitLength=0\r\nParity=0\r\nStopBit=0\r\n"
              "HandShake=0\r\n");
}

TEST(OkButton, EthernetWithEmptyAddressLeavesSelectionAndAddress)
{
    ProgramDir dir(0);
    dir.writeSettings(
        "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=4\r\nTcpIp=10.9.8.7\r\nParity=2\r\n");
    Started s(dir);
    Ui::Form1& f = s.f();
    ASSERT_EQ(f.cboPORT->currentText(), "COM5");
    f.OptEthernet->click();
    EXPECT_TRUE(f.FrameEthernet->isVisible());
    EXPECT_FALSE(f.FrameSerial->isVisible());
    f.TextEthernet->clear();
    f.cmdClose->click();
    EXPECT_EQ(dir.readSettings(),
              "[PRINTFirmware]\r\nInterface=3\r\nInterfaceSel=4\r\nTcpIp=10.9.8.7\r\n"
              "Parity=2\r\nBaudRate=0\r\nBitLength=0\r\nStopBit=0\r\nHandShake=0\r\n");
}

TEST(OkButton, FirstRunWritesANewFile)
{
    struct Case {
        const char* name;
        bool chooseUsb;
        std::string expected;
    };
    const Case cases[] = {
        // A new file has this system's line ends.
        {"UsbSecondPrinter", true,
         "[PRINTFirmware]\nInterface=2\nInterfaceSel=1\nBaudRate=0\nBitLength=0\nParity=0\n"
         "StopBit=0\nHandShake=0\nTcpIp=192.168.0.10\n"},
        // No interface chosen: neither Interface nor InterfaceSel.
        {"NoInterface", false,
         "[PRINTFirmware]\nBaudRate=0\nBitLength=0\nParity=0\nStopBit=0\nHandShake=0\n"
         "TcpIp=192.168.0.10\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramDir dir(2);
        Started s(dir);
        Ui::Form1& f = s.f();
        if (c.chooseUsb) {
            f.OptUSB->click();
            EXPECT_TRUE(f.FrameUSB->isVisible());
            press(*f.CboUSB, Qt::Key_Down);
        }
        f.cmdClose->click();
        EXPECT_EQ(dir.readSettings(), c.expected);
    }
}

TEST(LeavingWithoutOk, StoresNothing)
{
    const std::pair<const char*, std::function<void(MainWindow&)>> ways[] = {
        {"Cancel", [](MainWindow& w) { w.controls().cmdCancel->click(); }},
        {"Exit", [](MainWindow& w) { w.controls().mnuFileExit->trigger(); }},
        {"Close", [](MainWindow& w) { w.close(); }},
    };
    for (const auto& [name, leave] : ways) {
        for (const bool firstRun : {true, false}) {
            SCOPED_TRACE(std::string(name) + (firstRun ? " first run" : " with settings"));
            ProgramDir dir(2);
            if (!firstRun)
                dir.writeSettings(kKept);
            Started s(dir);
            Ui::Form1& f = s.f();
            f.OptSerial->click();
            press(*f.cboPORT, Qt::Key_Down, 2);
            press(*f.cboParity, Qt::Key_Down);
            f.TextEthernet->setText("10.20.30.40");
            leave(s.window());
            EXPECT_FALSE(s.window().isVisible());
            EXPECT_EQ(fs::exists(dir.settingsPath()), !firstRun);
            if (!firstRun) {
                EXPECT_EQ(dir.readSettings(), kKept);
            }
        }
    }
}

} // namespace
} // namespace fw
