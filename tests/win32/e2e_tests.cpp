// Firmware.exe end to end under Wine, driven from this program through Win32
// messages as a user would: the package chosen in the Open dialog, "Download
// Start", the outcome's box, "&OK". The printer is the simulator on COM1 (a
// pseudo-terminal of printer_service.sh), a registered USB printer reached
// through TAVLIB.dll whose pipes this program serves, or the file behind
// \\127.0.0.1\lp1. What the printer received is compared byte for byte, and
// the settings "&OK" stored are read back with the profile functions.
#include "engine/protocol.h"
#include "form1_layout.h"
#include "sample_packages.h"
#include "win32_driver.h"
#include "windows_printers.h"
#include "windows_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>

namespace fw::test {
namespace {

namespace layout = fw::layout;

int controlId(const char* name)
{
    for (std::size_t i = 0; i < std::size(layout::kControls); ++i)
        if (std::strcmp(layout::kControls[i].name, name) == 0)
            return 1000 + static_cast<int>(i); // the window's control identifiers
    return -1;
}

int menuId(const char* name)
{
    for (std::size_t i = 0; i < std::size(layout::kMenu); ++i)
        if (std::strcmp(layout::kMenu[i].name, name) == 0)
            return 2000 + static_cast<int>(i);
    return -1;
}

struct FindChild {
    int id;
    HWND found;
};

HWND control(HWND window, const char* name)
{
    FindChild f{controlId(name), nullptr};
    EnumChildWindows(
        window,
        [](HWND w, LPARAM p) {
            auto* f = reinterpret_cast<FindChild*>(p);
            if (GetDlgCtrlID(w) != f->id)
                return TRUE;
            f->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&f));
    return f.found;
}

std::string text(HWND window, const char* name)
{
    return utf8(windowText(control(window, name)));
}

// Firmware.exe with TAVLIB.dll in a folder of its own, running.
class Program {
public:
    Program(TestFolder& folder)
    {
        const std::string exe = folder / "Firmware.exe";
        CopyFileW(wide(fromUnixPath(FIRMWARE_EXE)).c_str(), wide(exe).c_str(), FALSE);
        CopyFileW(wide(fromUnixPath(TAVLIB_DLL)).c_str(), wide(folder / "TAVLIB.dll").c_str(),
                  FALSE);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::wstring cmd = L"\"" + wide(exe) + L"\"";
        if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            wide(folder.path()).c_str(), &si, &pi_))
            return;
        window = waitForWindow(pi_.dwProcessId, L"Form1", 20000);
    }
    ~Program()
    {
        if (!pi_.hProcess)
            return;
        if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
            ADD_FAILURE() << "Firmware.exe still runs";
            TerminateProcess(pi_.hProcess, 99);
            WaitForSingleObject(pi_.hProcess, 5000);
        }
        CloseHandle(pi_.hThread);
        CloseHandle(pi_.hProcess);
    }
    DWORD id() const { return pi_.dwProcessId; }
    // The exit code once it ended within `ms`; -1 while it runs.
    int ended(int ms)
    {
        DWORD code = 0;
        if (WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(ms)) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(pi_.hProcess, &code))
            return -1;
        return static_cast<int>(code);
    }
    HWND window = nullptr;

private:
    PROCESS_INFORMATION pi_{};
};

// Answers the Open dialog with `name` (nothing typed: the name it shows);
// gives the name it showed.
std::wstring answerOpenDialog(const Program& p, const std::wstring& name)
{
    HWND d = waitForDialog(p.id(), 10000);
    EXPECT_NE(d, nullptr) << "no Open dialog";
    if (!d)
        return {};
    EXPECT_TRUE(waitForOpenDialogReady(d, 5000));
    const std::wstring shown = typedFileName(d);
    if (!name.empty())
        typeFileName(d, name);
    press(d, IDOK);
    EXPECT_TRUE(waitForClose(d, 5000));
    return shown;
}

// Closes the next message box; gives its text.
std::string answerBox(const Program& p, int timeoutMs)
{
    HWND box = waitForDialog(p.id(), timeoutMs);
    if (!box)
        return "(no box)";
    const std::string said = utf8(messageBoxText(box));
    press(box, IDOK);
    waitForClose(box, 5000);
    return said;
}

std::string profile(const std::string& ini, const char* key)
{
    char value[256] = {};
    GetPrivateProfileStringA("PRINTFirmware", key, "(none)", value, sizeof value, ini.c_str());
    return value;
}

// A registered USB printer. Its device path reaches the two FIFOs of
// usb_printer_link.sh, on which this plays the printer: it answers the model
// query, then acknowledges each record, and keeps what came.
class UsbPrinter {
public:
    UsbPrinter(const std::string& answer, const std::vector<samples::Bytes>& records)
    {
        usb::test::removeAllPrinters();
        const std::string path = usb::test::registerPrinter("USB\\VID_0483&PID_7C30\\FW1");
        const char* dir = std::getenv("FW_USB_PRINTER_DIR");
        const char* linked = std::getenv("FW_USB_PRINTER_DEVICE");
        if (!dir || !linked) {
            error = "no FIFOs: run under usb_printer_link.sh";
            return;
        }
        if (path != std::string("\\\\?\\") + linked) {
            error = "registered as " + path + ", linked as " + linked;
            return;
        }
        // Both ends opened for reading and writing, so neither open waits for the other side.
        for (auto [handle, name] : {std::pair{&fromHost_, "PIPE00"}, std::pair{&toHost_, "PIPE01"}})
            *handle = CreateFileW(wide(fromUnixPath(dir) + "\\" + name).c_str(),
                                  GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (fromHost_ == INVALID_HANDLE_VALUE || toHost_ == INVALID_HANDLE_VALUE) {
            error = "cannot open the FIFOs: " + std::to_string(GetLastError());
            return;
        }
        thread_ = std::thread([this, answer, records] {
            if (!take(kModelQuery.size()) || !give(Bytes(answer.begin(), answer.end())))
                return;
            for (const samples::Bytes& r : records)
                if (!take(r.size()) || !give({0x06}))
                    return;
        });
    }
    ~UsbPrinter()
    {
        stop_ = true;
        if (thread_.joinable()) {
            // A read still waiting gets a byte of its own.
            const std::uint8_t wake = 0;
            DWORD n = 0;
            WriteFile(fromHost_, &wake, 1, &n, nullptr);
            thread_.join();
        }
        for (HANDLE h : {fromHost_, toHost_})
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
        usb::test::removeAllPrinters();
    }
    std::string error;

    Bytes received() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    bool take(std::size_t n)
    {
        std::uint8_t buf[512];
        for (std::size_t got = 0; got < n;) {
            DWORD k = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(sizeof buf, n - got));
            if (!ReadFile(fromHost_, buf, want, &k, nullptr) || stop_)
                return false;
            std::lock_guard<std::mutex> lock(mutex_);
            received_.insert(received_.end(), buf, buf + k);
            got += k;
        }
        return true;
    }
    bool give(const Bytes& bytes)
    {
        DWORD n = 0;
        return WriteFile(toHost_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) &&
               !stop_;
    }

    HANDLE fromHost_ = INVALID_HANDLE_VALUE, toHost_ = INVALID_HANDLE_VALUE;
    mutable std::mutex mutex_;
    Bytes received_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

enum class Via { Serial, Usb, Network };

TEST(FirmwareExe, DownloadsThroughTheWindowAndStoresItsSettings)
{
    std::string why;
    ASSERT_TRUE(PrinterService::available(why)) << why;
    struct Case {
        Via via;
        const char* settings; // stored before the start
        const char* option;   // selected after start-up
        const char* package;  // file name in K20T
        bool openFirst;       // File > Open before "Download Start"
        // What "&OK" stores.
        const char* storedInterface;
        const char* interfaceSel;
        const char* tcpIp;
    };
    const Case cases[] = {
        {Via::Serial, "Interface=1\r\nInterfaceSel=0\r\nBaudRate=2\r\n", "OptSerial",
         "FIRMWARE_\xC3\xA9.DPX", true, "1", "0", "192.168.0.10"},
        {Via::Usb, "Interface=2\r\nInterfaceSel=0\r\n", "OptUSB", "FONT.DPX", false, "2", "0",
         "192.168.0.10"},
        {Via::Network, "Interface=3\r\nTcpIp=127.0.0.1\r\n", "OptEthernet", "FIRMWARE.DPX", false,
         "3", "(none)", "127.0.0.1"},
    };
    const samples::Package pkg = samples::make(samples::Shape::Plain, false, 12);
    const std::vector<samples::Bytes> records = samples::recordsFrom(pkg.bytes, 0);
    Bytes expected(kModelQuery.begin(), kModelQuery.end());
    for (const samples::Bytes& r : records)
        expected.insert(expected.end(), r.begin(), r.end());

    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        TestFolder folder("gui");
        writeFile(folder / "Firmware.ini", std::string("[PRINTFirmware]\r\n") + c.settings);
        CreateDirectoryW(wide(folder / "K20T").c_str(), nullptr);
        const std::string package = folder / "K20T" + "\\" + c.package;
        writeFile(package, pkg.bytes);

        std::unique_ptr<UsbPrinter> usbPrinter;
        if (c.via == Via::Serial)
            PrinterService::start({"--answer", "K20_T"});
        if (c.via == Via::Usb) {
            usbPrinter = std::make_unique<UsbPrinter>("K20_T", records);
            ASSERT_EQ(usbPrinter->error, "");
        }
        if (c.via == Via::Network)
            writeFile(PrinterService::printShareFile(), "");

        Program p(folder);
        ASSERT_NE(p.window, nullptr) << "no window";
        EXPECT_EQ(SendMessageW(control(p.window, c.option), BM_GETCHECK, 0, 0), BST_CHECKED);

        if (c.openFirst) {
            PostMessageW(p.window, WM_COMMAND, MAKEWPARAM(menuId("mnuFileOpen"), 0), 0);
            answerOpenDialog(p, wide(package));
            EXPECT_EQ(text(p.window, "lblFileName"), std::string("FILE NAME : ") + c.package);
            EXPECT_EQ(text(p.window, "lblSize"),
                      "Size Total : " + std::to_string(pkg.bytes.size()));
        }
        // "Download Start" asks for the package again: confirmed as shown, or typed.
        PostMessageW(control(p.window, "cmdSTART"), BM_CLICK, 0, 0);
        const std::wstring shown = answerOpenDialog(p, c.openFirst ? L"" : wide(package));
        if (c.openFirst) {
            EXPECT_NE(shown.find(wide(c.package)), std::wstring::npos) << utf8(shown);
        }
        EXPECT_EQ(answerBox(p, 30000), "Download Success.");
        EXPECT_EQ(text(p.window, "Label3"),
                  std::to_string(pkg.bytes.size()) + "/" + std::to_string(pkg.bytes.size()));

        PostMessageW(control(p.window, "cmdClose"), BM_CLICK, 0, 0); // "&OK"
        EXPECT_EQ(p.ended(10000), 0);
        const std::string ini = folder / "Firmware.ini";
        EXPECT_EQ(profile(ini, "Interface"), c.storedInterface);
        EXPECT_EQ(profile(ini, "InterfaceSel"), c.interfaceSel);
        EXPECT_EQ(profile(ini, "BaudRate"), c.via == Via::Serial ? "2" : "0");
        EXPECT_EQ(profile(ini, "TcpIp"), c.tcpIp);

        Bytes received;
        if (c.via == Via::Serial)
            received = PrinterService::stop();
        if (c.via == Via::Usb) {
            received = usbPrinter->received();
        }
        if (c.via == Via::Network) {
            const std::string job = readFile(PrinterService::printShareFile());
            received.assign(job.begin(), job.end());
        }
        EXPECT_EQ(received, expected);
    }
}

TEST(FirmwareExe, ClosingTheWindowDuringADownloadEndsIt)
{
    std::string why;
    ASSERT_TRUE(PrinterService::available(why)) << why;
    TestFolder folder("gui-close");
    const std::string settings =
        "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=0\r\nBaudRate=2\r\n";
    writeFile(folder / "Firmware.ini", settings);
    const samples::Package pkg = samples::make(samples::Shape::Plain, false, 400);
    const std::string package = folder / "FIRMWARE.DPX";
    writeFile(package, pkg.bytes);
    PrinterService::start({"--answer", "K20_T"});

    Program p(folder);
    ASSERT_NE(p.window, nullptr) << "no window";
    PostMessageW(control(p.window, "cmdSTART"), BM_CLICK, 0, 0);
    answerOpenDialog(p, wide(package));
    for (int i = 0; i < 500 && text(p.window, "Label3") == "0/0"; ++i)
        Sleep(20);
    ASSERT_NE(text(p.window, "Label3"), "0/0") << "the download did not start";
    PostMessageW(p.window, WM_CLOSE, 0, 0); // the title bar's close button

    // The session stops at its next look and the program ends, with no box
    // and nothing stored.
    EXPECT_EQ(p.ended(10000), 0);
    EXPECT_EQ(readFile(folder / "Firmware.ini"), settings);
    const Bytes received = PrinterService::stop();
    EXPECT_GT(received.size(), kModelQuery.size());
    EXPECT_LT(received.size(), pkg.bytes.size() / 2);
}

// Firmware.exe as Explorer shows it: an icon of each size in 256 colours and
// in 32-bit colour, and the program's version.
TEST(FirmwareExe, CarriesItsIconsAndItsVersion)
{
    const std::wstring exe = wide(fromUnixPath(FIRMWARE_EXE));
    HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(m, nullptr);
    const auto resource = [m](WORD id, LPCSTR type) -> const BYTE* {
        HRSRC r = FindResourceA(m, MAKEINTRESOURCEA(id), type);
        return r ? static_cast<const BYTE*>(LockResource(LoadResource(m, r))) : nullptr;
    };
    // The icon group: a count at 4, then 14-byte entries (width first, the
    // image's identifier at 12); each image begins with its bitmap header.
    std::vector<std::pair<int, int>> images; // size, bits per pixel
    if (const BYTE* group = resource(1, RT_GROUP_ICON)) {
        for (WORD i = 0; i < *reinterpret_cast<const WORD*>(group + 4); ++i) {
            const BYTE* entry = group + 6 + 14 * i;
            const WORD id = *reinterpret_cast<const WORD*>(entry + 12);
            const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(resource(id, RT_ICON));
            images.emplace_back(entry[0], header ? header->biBitCount : 0);
        }
    }
    FreeLibrary(m);
    std::sort(images.begin(), images.end());
    EXPECT_EQ(images,
              (std::vector<std::pair<int, int>>{
                  {16, 8}, {16, 32}, {24, 8}, {24, 32}, {32, 8}, {32, 32}, {48, 8}, {48, 32}}));

    std::vector<BYTE> info(GetFileVersionInfoSizeW(exe.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    const auto value = [&info](const wchar_t* name) {
        void* at = nullptr;
        UINT length = 0;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueW(info.data(), path.c_str(), &at, &length) && length > 0
                   ? utf8(static_cast<const wchar_t*>(at))
                   : std::string();
    };
    EXPECT_EQ(value(L"ProductName"), "Firmware Downloader");
    EXPECT_EQ(value(L"FileVersion"), FW_VERSION);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                  std::to_string(LOWORD(fixed->dwFileVersionMS)),
              FW_VERSION);
}

// Firmware.exe --help says where the settings file and the packages are for
// the copy started: on the standard output it was given (UTF-8), or, with
// neither that nor a console to write to, in a message box.
TEST(FirmwareExe, HelpSaysWhereItsFilesAre)
{
    TestFolder folder("help-\xC3\xA9");
    const std::string exe = folder / "Firmware.exe";
    ASSERT_TRUE(CopyFileW(wide(fromUnixPath(FIRMWARE_EXE)).c_str(), wide(exe).c_str(), FALSE));
    const std::string settings = "settings  " + (folder / "Firmware.ini");
    const std::string packages = "packages  " + (folder / "K20T");

    const ProgramRun run = runProgram(exe, {"--help"});
    EXPECT_EQ(run.code, 0);
    EXPECT_NE(run.out.find(settings), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(packages), std::string::npos) << run.out;

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES; // none
    PROCESS_INFORMATION pi{};
    std::wstring command = L"\"" + wide(exe) + L"\" --help";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS,
                               nullptr, nullptr, &si, &pi));
    std::string shown;
    if (HWND box = waitForDialog(pi.dwProcessId, 20000)) {
        shown = utf8(messageBoxText(box));
        press(box, IDOK);
    }
    DWORD code = 99;
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(code, 0u);
    EXPECT_NE(shown.find(settings), std::string::npos) << shown;
    EXPECT_NE(shown.find(packages), std::string::npos) << shown;
}

} // namespace
} // namespace fw::test
