// The window of Firmware.exe under Wine, created in this process: its
// controls read back through Win32 against the layout table generated from
// Form1.ui, and the toolkit services on the real controls.
#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "form1_layout.h"
#include "win32/form1_window.h"
#include "base/wide_text.h"
#include "win32_driver.h"

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace fw::test {
namespace {

namespace layout = fw::layout;

// A folder of the test's own, removed at the end.
struct Folder {
    Folder()
    {
        wchar_t temp[MAX_PATH + 1] = {};
        GetTempPathW(MAX_PATH + 1, temp);
        for (unsigned n = GetCurrentProcessId();; ++n) {
            path = temp + std::wstring(L"fw-win32-") + std::to_wstring(n);
            if (CreateDirectoryW(path.c_str(), nullptr))
                break;
        }
    }
    ~Folder()
    {
        for (const std::wstring& f : files)
            DeleteFileW(f.c_str());
        for (auto it = dirs.rbegin(); it != dirs.rend(); ++it)
            RemoveDirectoryW(it->c_str());
        RemoveDirectoryW(path.c_str());
    }
    std::wstring dir(const std::wstring& name)
    {
        dirs.push_back(path + L"\\" + name);
        CreateDirectoryW(dirs.back().c_str(), nullptr);
        return dirs.back();
    }
    std::wstring file(const std::wstring& name)
    {
        files.push_back(path + L"\\" + name);
        HANDLE h =
            CreateFileW(files.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(h, "x", 1, &written, nullptr);
        CloseHandle(h);
        return files.back();
    }
    std::wstring path;
    std::vector<std::wstring> dirs, files;
};

// The program's window, before start-up, in a folder without TAVLIB or
// settings.
struct Program {
    Folder folder;
    std::string dir = utf8FromWide(folder.path);
    TavlibBinding usb{dir};
    ProductChannels channels{dir, usb};
    SteadyClock clock;
    Form1Window window{GetModuleHandleW(nullptr), dir, usb, channels, clock};

    HWND control(const char* name) const
    {
        return window.handles().controls.at(static_cast<std::size_t>(layoutIndex(name)));
    }
    const char* nameOf(HWND w) const
    {
        const int i = GetDlgCtrlID(w) - kControlIdBase;
        return i >= 0 && i < static_cast<int>(std::size(layout::kControls))
                   ? layout::kControls[i].name
                   : "?";
    }
};

RECT inParent(HWND w)
{
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::vector<int> rectOf(const RECT& r)
{
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

class Form1Win32 : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(p.window.created());
        p.window.show(SW_SHOWNORMAL);
    }
    Program p;
};

TEST_F(Form1Win32, EveryControlIsWhereTheTableSaysWithItsCaptionKindAndFont)
{
    HWND w = p.window.hwnd();
    EXPECT_EQ(windowText(w), wideFromUtf8(layout::kTitle));
    RECT client{};
    GetClientRect(w, &client);
    EXPECT_EQ(rectOf(client), (std::vector{0, 0, layout::kClientWidth, layout::kClientHeight}));
    const LONG style = GetWindowLongW(w, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)); // fixed single border
    EXPECT_NE(SendMessageW(w, WM_GETICON, ICON_BIG, 0) || GetClassLongPtrW(w, GCLP_HICON), 0);

    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    struct KindClass {
        layout::Kind kind;
        const wchar_t* cls;
        LONG typeMask, type;
    };
    const KindClass kinds[] = {
        {layout::Kind::Frame, L"Button", BS_TYPEMASK, BS_GROUPBOX},
        {layout::Kind::Label, L"Static", SS_TYPEMASK & ~SS_RIGHT, SS_LEFT},
        {layout::Kind::Picture, L"Static", SS_TYPEMASK, SS_BITMAP},
        {layout::Kind::Option, L"Button", BS_TYPEMASK, BS_AUTORADIOBUTTON},
        {layout::Kind::List, L"ComboBox", 3, CBS_DROPDOWNLIST},
        {layout::Kind::TextBox, L"Edit", 0, 0},
        {layout::Kind::ProgressBar, L"msctls_progress32", 0, 0},
    };
    for (std::size_t i = 0; i < std::size(layout::kControls); ++i) {
        const layout::Control& c = layout::kControls[i];
        SCOPED_TRACE(c.name);
        HWND h = p.window.handles().controls[i];
        ASSERT_NE(h, nullptr);
        EXPECT_EQ(GetParent(h),
                  c.container < 0
                      ? w
                      : p.window.handles().controls[static_cast<std::size_t>(c.container)]);
        EXPECT_EQ(rectOf(inParent(h)), (std::vector{c.x, c.y, c.width, c.height}));
        const LONG s = GetWindowLongW(h, GWL_STYLE);
        EXPECT_TRUE(s & WS_VISIBLE);
        EXPECT_EQ((s & WS_TABSTOP) != 0, c.tabStop);
        if (c.kind == layout::Kind::Button) {
            EXPECT_EQ(className(h), L"Button");
            EXPECT_EQ(s & BS_TYPEMASK, c.fillsBackground ? BS_OWNERDRAW : BS_PUSHBUTTON);
        }
        for (const KindClass& k : kinds) {
            if (k.kind != c.kind)
                continue;
            EXPECT_EQ(className(h), k.cls);
            EXPECT_EQ(s & k.typeMask, k.type);
        }
        if (c.kind == layout::Kind::Label) {
            EXPECT_EQ((s & SS_RIGHT) == SS_RIGHT, c.rightAligned);
        }
        if (c.kind == layout::Kind::Picture) {
            EXPECT_NE(SendMessageW(h, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        }
        if (c.kind != layout::Kind::List && c.kind != layout::Kind::Picture) {
            EXPECT_EQ(windowText(h), wideFromUtf8(c.text));
        }
        if (c.kind == layout::Kind::Picture)
            continue;
        LOGFONTW lf{};
        ASSERT_NE(
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf),
            0);
        EXPECT_EQ(std::wstring(lf.lfFaceName), wideFromUtf8(c.fontFamily));
        EXPECT_EQ(lf.lfHeight, -MulDiv(c.fontPoints, dpi, 72));
        EXPECT_EQ(lf.lfWeight >= FW_BOLD, c.bold);
    }

    // The menu and its shortcut.
    HMENU bar = GetMenu(w);
    ASSERT_NE(bar, nullptr);
    std::vector<std::wstring> entries;
    for (const layout::MenuItem& m : layout::kMenu) {
        std::wstring e = wideFromUtf8(m.text);
        if (m.shortcut[0])
            e += L"\t" + wideFromUtf8(m.shortcut);
        entries.push_back(m.separator ? L"-" : e);
    }
    std::vector<std::wstring> shown;
    for (int top = 0; top < GetMenuItemCount(bar); ++top) {
        wchar_t text[128] = {};
        GetMenuStringW(bar, static_cast<UINT>(top), text, 128, MF_BYPOSITION);
        shown.push_back(text);
        HMENU sub = GetSubMenu(bar, top);
        for (int k = 0; sub && k < GetMenuItemCount(sub); ++k) {
            if (GetMenuState(sub, static_cast<UINT>(k), MF_BYPOSITION) & MF_SEPARATOR) {
                shown.push_back(L"-");
                continue;
            }
            GetMenuStringW(sub, static_cast<UINT>(k), text, 128, MF_BYPOSITION);
            shown.push_back(text);
        }
    }
    EXPECT_EQ(shown, entries);
    ACCEL keys[8] = {};
    const int n = CopyAcceleratorTableW(p.window.handles().accelerators, keys, 8);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(keys[0].fVirt & (FCONTROL | FVIRTKEY | FSHIFT | FALT), FCONTROL | FVIRTKEY);
    EXPECT_EQ(keys[0].key, 'O');
    EXPECT_EQ(keys[0].cmd, kMenuIdBase + menuIndex("mnuFileOpen"));
}

TEST_F(Form1Win32, ControlsAreStackedAndTabbedInTheTablesOrder)
{
    // Within each container the first child is drawn in front and tabbed to first.
    std::vector<HWND> containers{p.window.hwnd()};
    for (std::size_t i = 0; i < std::size(layout::kControls); ++i)
        if (layout::kControls[i].kind == layout::Kind::Frame)
            containers.push_back(p.window.handles().controls[i]);
    for (HWND parent : containers) {
        std::vector<std::string> actual, expected;
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            actual.push_back(p.nameOf(c));
        for (std::size_t i = 0; i < std::size(layout::kControls); ++i) {
            const int container = layout::kControls[i].container;
            if ((container < 0
                     ? p.window.hwnd()
                     : p.window.handles().controls[static_cast<std::size_t>(container)]) == parent)
                expected.push_back(layout::kControls[i].name);
        }
        EXPECT_EQ(actual, expected);
    }

    // Tab from "Download Start" through the visible stops; the option group
    // is entered at its selected button only.
    struct Case {
        Ctl option; // cmdSTART: none selected, every frame visible
        std::vector<std::string> stops;
    };
    const std::vector<std::string> design(std::begin(layout::kTabOrder),
                                          std::end(layout::kTabOrder));
    const Case cases[] = {
        {Ctl::cmdSTART, design},
        {Ctl::OptSerial,
         {"cmdSTART", "OptSerial", "cboHandShake", "cboStopBit", "cboParity", "cboBitLength",
          "cboBaudRate", "cboPORT", "cmdClose", "cmdCancel"}},
        {Ctl::OptUSB, {"cmdSTART", "OptUSB", "cmdClose", "cmdCancel", "CboUSB"}},
        {Ctl::OptEthernet, {"cmdSTART", "OptEthernet", "cmdClose", "cmdCancel", "TextEthernet"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stops[1]);
        if (c.option != Ctl::cmdSTART)
            p.window.toolkit().select(c.option); // its handler shows its frame
        HWND start = p.control("cmdSTART");
        std::vector<std::string> stops;
        HWND at = start;
        do {
            stops.push_back(p.nameOf(at));
            at = GetNextDlgTabItem(p.window.hwnd(), at, FALSE);
        } while (at && at != start && stops.size() < 30);
        EXPECT_EQ(stops, c.stops);
    }
}

struct Recorder : ToolkitEvents {
    void optionClicked(Ctl c) override { options.push_back(c); }
    void listClicked(Ctl c) override { lists.push_back(c); }
    std::vector<Ctl> options, lists;
};

TEST_F(Form1Win32, ToolkitServicesOnTheControls)
{
    Win32Toolkit& tk = p.window.toolkit();
    Recorder events;
    tk.setEvents(&events);

    // Option buttons: one group; the program's selection and the user's
    // click (through its frame) run the handler.
    tk.select(Ctl::OptUSB);
    tk.select(Ctl::OptSerial);
    EXPECT_FALSE(tk.isSelected(Ctl::OptUSB));
    SendMessageW(p.control("OptEthernet"), BM_CLICK, 0, 0);
    EXPECT_TRUE(tk.isSelected(Ctl::OptEthernet));
    EXPECT_FALSE(tk.isSelected(Ctl::OptSerial));
    EXPECT_EQ(events.options, (std::vector{Ctl::OptUSB, Ctl::OptSerial, Ctl::OptEthernet}));

    // Lists: appending selects nothing; a selection by program or by the user runs the handler.
    tk.addItem(Ctl::cboPORT, "COM1");
    tk.addItem(Ctl::cboPORT, "COM2");
    EXPECT_EQ(tk.listIndex(Ctl::cboPORT), -1);
    EXPECT_EQ(tk.listText(Ctl::cboPORT), "");
    EXPECT_TRUE(events.lists.empty());
    tk.setListIndex(Ctl::cboPORT, 1);
    EXPECT_EQ(tk.listText(Ctl::cboPORT), "COM2");
    HWND port = p.control("cboPORT");
    SendMessageW(port, CB_SETCURSEL, 0, 0);
    SendMessageW(GetParent(port), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(port), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(port));
    EXPECT_EQ(events.lists, (std::vector{Ctl::cboPORT, Ctl::cboPORT}));
    EXPECT_EQ(tk.itemText(Ctl::cboPORT, 1), "COM2");
    tk.addItem(Ctl::CboUSB, "Ger\u00e4t"); // text crosses as UTF-16
    EXPECT_EQ(tk.itemText(Ctl::CboUSB, 0), "Ger\u00e4t");
    EXPECT_EQ(utf8FromWide(windowText(p.control("lblFileName"))), "fileName ");

    // "Download Start" is drawn in its colour.
    tk.setBackColour(Ctl::cmdSTART, kStartColourArmed);
    EXPECT_EQ(tk.backColour(Ctl::cmdSTART), kStartColourArmed);
    HWND start = p.control("cmdSTART");
    RedrawWindow(start, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    HDC dc = GetDC(start);
    EXPECT_EQ(GetPixel(dc, 6, 6) & 0xFFFFFF, kStartColourArmed);
    ReleaseDC(start, dc);

    // The bar keeps a single-precision range beyond the control's int range.
    tk.setProgressMax(4.0e9f);
    EXPECT_TRUE(tk.setProgressValue(2.0e9f));
    HWND bar = p.control("ProgressBar");
    const auto pos = static_cast<double>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    const auto max = static_cast<double>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    EXPECT_NEAR(pos / max, 0.5, 1e-6);
    EXPECT_FALSE(tk.setProgressValue(5.0e9f));
    EXPECT_FALSE(tk.setProgressValue(-1.0f));
    EXPECT_EQ(tk.progressValue(), 2.0e9f);

    // The counter grows to the left from the bar's right end.
    HWND counter = p.control("Label3");
    const RECT before = inParent(counter);
    tk.setText(Ctl::Label3, "4194304/4194304");
    const RECT after = inParent(counter);
    EXPECT_EQ(after.right, before.right);
    EXPECT_LT(after.left, before.left - 40);
    EXPECT_EQ(tk.text(Ctl::Label3), "4194304/4194304");

    // The hourglass is the window's own pointer: asked over a control, not over a box.
    tk.setPointer(Pointer::Hourglass);
    SendMessageW(port, WM_SETCURSOR, reinterpret_cast<WPARAM>(port),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    tk.setPointer(Pointer::Normal);
    SendMessageW(port, WM_SETCURSOR, reinterpret_cast<WPARAM>(port),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));

    // Menu entries.
    tk.setEnabled(Ctl::mnuFileOpen, false);
    EXPECT_FALSE(tk.isEnabled(Ctl::mnuFileOpen));
    EXPECT_TRUE(tk.isEnabled(Ctl::mnuFileExit));
    tk.setEnabled(Ctl::mnuFileOpen, true);
    EXPECT_TRUE(tk.isEnabled(Ctl::mnuFileOpen));
    tk.setEvents(nullptr);
}

TEST_F(Form1Win32, ACloseDuringASessionIsTakenWithoutUserInput)
{
    // A session takes what the window system asks before each box it shows,
    // and nothing the user typed or clicked.
    p.window.form().state().sessionRunning = true;
    HWND w = p.window.hwnd();
    PostMessageW(w, WM_COMMAND, MAKEWPARAM(kMenuIdBase + menuIndex("mnuFileOpen"), 0), 0);
    PostMessageW(w, WM_CLOSE, 0, 0);
    p.window.toolkit().processWindowRequests();
    EXPECT_TRUE(p.window.form().endRequested());
    EXPECT_TRUE(IsWindow(w)); // the session ends first
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, w, WM_COMMAND, WM_COMMAND, PM_REMOVE)); // still waiting

    p.window.form().state().sessionRunning = false;
    PostMessageW(w, WM_CLOSE, 0, 0);
    p.window.toolkit().processWindowRequests();
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(Form1Win32, MessageBoxesCarryTheProgramsTitleAndTheIconAskedFor)
{
    struct Case {
        bool exclamation;
        const char* title;
        const wchar_t* shownTitle;
    };
    const Case cases[] = {
        {false, "", L"Firmware Downloader"},
        {true, "", L"Firmware Downloader"},
        {true, "Firmware", L"Firmware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8FromWide(c.shownTitle) + (c.exclamation ? " with icon" : ""));
        std::wstring title, text;
        bool icon = false;
        std::thread user([&] {
            HWND box = waitForDialog(GetCurrentProcessId(), 5000);
            if (!box)
                return;
            title = windowText(box);
            text = messageBoxText(box);
            // The icon's control: 0x440 here, 20 elsewhere.
            for (int id : {0x440, 20})
                if (HWND i = GetDlgItem(box, id))
                    icon = icon || SendMessageW(i, STM_GETICON, 0, 0) != 0;
            press(box, IDOK);
        });
        p.window.toolkit().messageBox("Download Success.", c.exclamation, c.title);
        user.join();
        EXPECT_EQ(title, c.shownTitle);
        EXPECT_EQ(text, L"Download Success.");
        EXPECT_EQ(icon, c.exclamation);
    }
}

// A session disables controls, the one with the focus among them, and
// enables them again afterwards: the focus is back where it was, not on the
// first list that stayed enabled.
TEST_F(Form1Win32, FocusIsBackWhereItWasAfterASession)
{
    Folder files;
    const std::wstring empty = files.path + L"\\EMPTY.DPX";
    files.files.push_back(empty);
    CloseHandle(CreateFileW(empty.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (const char* before : {"cmdSTART", "cboPORT", "cboBaudRate"}) {
        SCOPED_TRACE(before);
        SetFocus(p.control(before));
        ASSERT_STREQ(p.nameOf(GetFocus()), before);
        p.window.form().state().packagePath = utf8FromWide(empty); // kept: the dialog is cancelled
        std::wstring outcome;
        std::thread user([&] {
            HWND open = waitForDialog(GetCurrentProcessId(), 10000);
            if (!open || !waitForOpenDialogReady(open, 5000))
                return;
            press(open, IDCANCEL);
            waitForClose(open, 5000);
            if (HWND box = waitForDialog(GetCurrentProcessId(), 10000, open)) {
                outcome = messageBoxText(box);
                press(box, IDOK);
            }
        });
        p.window.form().startDownload();
        user.join();
        EXPECT_EQ(outcome, L"Firmware file not open.");
        EXPECT_STREQ(p.nameOf(GetFocus()), before);
    }
}

// Answers the open dialogs shown meanwhile: types each name and presses OK,
// or cancels for an empty one; notes what each dialog showed.
class DialogUser {
public:
    struct Seen {
        std::wstring folder, name, box;
    };
    explicit DialogUser(std::vector<std::wstring> answers) : answers_(std::move(answers))
    {
        thread_ = std::thread([this] { run(); });
    }
    ~DialogUser()
    {
        if (thread_.joinable())
            thread_.join();
    }
    std::vector<Seen> finish()
    {
        thread_.join();
        return seen_;
    }

private:
    void run()
    {
        for (const std::wstring& a : answers_) {
            HWND d = waitForDialog(GetCurrentProcessId(), 10000);
            if (!d)
                return;
            waitForOpenDialogReady(d, 5000);
            Seen s{dialogFolder(d), typedFileName(d), {}};
            if (a.empty()) {
                press(d, IDCANCEL);
            } else {
                typeFileName(d, a);
                press(d, IDOK);
                // It closes, or says why it stays open.
                for (int i = 0; i < 250 && IsWindowVisible(d); ++i) {
                    if (HWND box = ownedDialog(d)) {
                        s.box = messageBoxText(box);
                        press(box, IDOK);
                        waitForClose(box, 5000);
                        press(d, IDCANCEL);
                        break;
                    }
                    Sleep(20);
                }
            }
            waitForClose(d, 5000);
            seen_.push_back(s);
        }
    }
    std::vector<std::wstring> answers_;
    std::vector<Seen> seen_;
    std::thread thread_;
};

TEST_F(Form1Win32, OpenDialogKeepsItsLastNameAndRefusesAMissingFolder)
{
    Folder files;
    const std::wstring packages = files.dir(L"K20T");
    const std::wstring other = files.dir(L"other");
    const std::wstring chosen = files.file(L"K20T\\FONT_\u00e9.DPX");
    OpenDialogSetup setup;
    setup.flags = kOfnReadOnly | kOfnHideReadOnly | kOfnPathMustExist;
    setup.title = "Open";
    setup.filter = "Firmware File(*.DPX)|*.DPX";
    Win32Toolkit& tk = p.window.toolkit();

    std::vector<OpenDialogResult> results;
    DialogUser user({L"FONT_\u00e9.DPX", L"", L"nosuchfolder\\X.DPX", L"NEW.DPX"});
    setup.initialDir = utf8FromWide(packages);
    results.push_back(tk.showOpenDialog(setup));
    setup.initialDir = utf8FromWide(other); // counts only while the dialog holds no name
    for (int i = 0; i < 3; ++i)
        results.push_back(tk.showOpenDialog(setup));
    const std::vector<DialogUser::Seen> seen = user.finish();

    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].folder, packages);
    EXPECT_EQ(results[0].fileName, utf8FromWide(chosen));
    EXPECT_EQ(results[0].fileTitle, "FONT_\u00e9.DPX");
    // Reopened in the folder of its last name, with that name.
    EXPECT_EQ(seen[1].folder, packages);
    EXPECT_NE(seen[1].name.find(L"FONT_\u00e9.DPX"), std::wstring::npos);
    EXPECT_EQ(results[1].fileName, ""); // cancelled
    // A typed folder must exist; the file itself need not.
    EXPECT_NE(seen[2].box, L"");
    EXPECT_EQ(results[2].fileName, "");
    EXPECT_EQ(results[3].fileName, utf8FromWide(packages + L"\\NEW.DPX"));
    EXPECT_EQ(results[3].fileTitle, "NEW.DPX");
}

} // namespace
} // namespace fw::test

int main(int argc, char** argv)
{
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
