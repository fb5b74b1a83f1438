#include "win32/form1_window.h"

#include "form1_layout.h"
#include "base/wide_text.h"

#include <commctrl.h>

#include <cctype>
#include <iterator>
#include <vector>

namespace fw {

namespace {

constexpr UINT_PTR kFrameSubclass = 1;

// A frame holds controls: what they report goes on to the window, and the
// frame paints its whole background so a frame in front hides those behind.
LRESULT CALLBACK frameProcedure(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX: return SendMessageW(GetAncestor(w, GA_ROOT), msg, wParam, lParam);
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(w, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    case WM_NCHITTEST: return HTCLIENT; // a group box alone lets clicks through to what lies behind
    case WM_NCDESTROY: RemoveWindowSubclass(w, frameProcedure, kFrameSubclass); break;
    }
    return DefSubclassProc(w, msg, wParam, lParam);
}

// "Ctrl+O" as an accelerator key.
bool acceleratorOf(const std::string& shortcut, ACCEL& a)
{
    a.fVirt = FVIRTKEY;
    std::string rest = shortcut;
    for (;;) {
        const auto plus = rest.find('+');
        if (plus == std::string::npos || plus + 1 == rest.size())
            break;
        const std::string modifier = rest.substr(0, plus);
        if (modifier == "Ctrl")
            a.fVirt |= FCONTROL;
        else if (modifier == "Shift")
            a.fVirt |= FSHIFT;
        else if (modifier == "Alt")
            a.fVirt |= FALT;
        else
            return false;
        rest = rest.substr(plus + 1);
    }
    if (rest.size() == 1 && std::isalnum(static_cast<unsigned char>(rest[0]))) {
        a.key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(rest[0])));
        return true;
    }
    if (rest.size() >= 2 && rest[0] == 'F') {
        const int n = std::atoi(rest.c_str() + 1);
        if (n >= 1 && n <= 24) {
            a.key = static_cast<WORD>(VK_F1 + n - 1);
            return true;
        }
    }
    return false;
}

// The resource name of a picture: "logo.jpg" is LOGO_JPG.
std::wstring pictureResource(const char* picture)
{
    std::wstring name;
    for (const char* p = picture; *p; ++p)
        name += std::isalnum(static_cast<unsigned char>(*p))
                    ? static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(*p)))
                    : L'_';
    return name;
}

const wchar_t* kWindowClass = L"Form1";

} // namespace

Form1Window::Form1Window(HINSTANCE instance, const std::string& programDir, UsbLibrary& usb,
                         ChannelSet& channels, Clock& clock)
    : channels_(channels), session_(channels, clock)
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExW(instance, kWindowClass, &wc)) {
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &Form1Window::procedure;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kWindowClass;
        wc.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXICON),
                                                 GetSystemMetrics(SM_CYICON), 0));
        wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
        if (!RegisterClassExW(&wc))
            return;
    }
    createMenu();
    // Fixed single border, no minimise or maximise button.
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT r{0, 0, layout::kClientWidth, layout::kClientHeight};
    AdjustWindowRectEx(&r, style, TRUE, WS_EX_CONTROLPARENT);
    const int width = r.right - r.left, height = r.bottom - r.top;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = std::max(0L, work.left + (work.right - work.left - width) / 2);
    const int y = std::max(0L, work.top + (work.bottom - work.top - height) / 2);
    handles_.window =
        CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, wideFromUtf8(layout::kTitle).c_str(),
                        style, x, y, width, height, nullptr, handles_.menuBar, instance, this);
    if (!handles_.window) {
        DestroyMenu(handles_.menuBar);
        handles_.menuBar = nullptr;
        return;
    }
    // The client area below the menu is the design's, whatever the menu's height.
    RECT client{};
    GetClientRect(handles_.window, &client);
    const int dw = layout::kClientWidth - client.right, dh = layout::kClientHeight - client.bottom;
    if (dw || dh)
        SetWindowPos(handles_.window, nullptr, 0, 0, width + dw, height + dh,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    createControls(instance);
    toolkit_ = std::make_unique<Win32Toolkit>(handles_);
    form_ = std::make_unique<Form>(*toolkit_, usb, session_, programDir);
    lastFocus_ = toolkit_->handle(Ctl::cmdSTART);
}

Form1Window::~Form1Window()
{
    form_.reset();
    toolkit_.reset();
    if (handles_.window && IsWindow(handles_.window))
        DestroyWindow(handles_.window);
    // The window's end asks its loop to end; no loop of it runs any more.
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    if (handles_.accelerators)
        DestroyAcceleratorTable(handles_.accelerators);
    for (auto& [key, f] : fonts_)
        DeleteObject(f);
    for (auto& [key, b] : pictures_)
        DeleteObject(b);
}

void Form1Window::createMenu()
{
    handles_.menuBar = CreateMenu();
    HMENU current = nullptr;
    std::vector<ACCEL> keys;
    for (std::size_t i = 0; i < std::size(layout::kMenu); ++i) {
        const layout::MenuItem& m = layout::kMenu[i];
        const int id = kMenuIdBase + static_cast<int>(i);
        if (m.level == 0) {
            current = CreatePopupMenu();
            AppendMenuW(handles_.menuBar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(current),
                        wideFromUtf8(m.text).c_str());
        } else if (current && m.separator) {
            AppendMenuW(current, MF_SEPARATOR, 0, nullptr);
        } else if (current) {
            std::string text = m.text;
            ACCEL a{};
            if (m.shortcut[0] && acceleratorOf(m.shortcut, a)) {
                a.cmd = static_cast<WORD>(id);
                keys.push_back(a);
                text += std::string("\t") + m.shortcut;
            }
            AppendMenuW(current, MF_STRING, static_cast<UINT_PTR>(id), wideFromUtf8(text).c_str());
        }
    }
    if (!keys.empty())
        handles_.accelerators = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

HFONT Form1Window::font(const char* family, int points, bool bold)
{
    const auto key = std::make_tuple(std::string(family), points, bold);
    if (auto it = fonts_.find(key); it != fonts_.end())
        return it->second;
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(points, dpi, 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    const std::wstring face = wideFromUtf8(family);
    lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
    HFONT f = CreateFontIndirectW(&lf);
    fonts_[key] = f;
    return f;
}

void Form1Window::createControls(HINSTANCE instance)
{
    // Created in the table's order: within one container the first created
    // is drawn in front and is the first tab stop.
    const std::size_t n = std::size(layout::kControls);
    handles_.controls.assign(n, nullptr);
    std::vector<bool> optionGroupStarted(n + 1, false);
    for (std::size_t i = 0; i < n; ++i) {
        const layout::Control& c = layout::kControls[i];
        HWND parent = c.container < 0 ? handles_.window
                                      : handles_.controls[static_cast<std::size_t>(c.container)];
        DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | (c.tabStop ? WS_TABSTOP : 0);
        DWORD exStyle = 0;
        const wchar_t* cls = WC_STATICW;
        std::wstring text = wideFromUtf8(c.text);
        int height = c.height;
        bool group = true; // each control starts a group of its own, but option buttons
        switch (c.kind) {
        case layout::Kind::Frame:
            cls = WC_BUTTONW;
            style |= BS_GROUPBOX | WS_CLIPCHILDREN;
            exStyle |= WS_EX_CONTROLPARENT;
            break;
        case layout::Kind::Label:
            // Shown as given: a file name with "&" keeps it.
            style |= SS_NOPREFIX | SS_CENTERIMAGE | (c.rightAligned ? SS_RIGHT : SS_LEFT);
            break;
        case layout::Kind::Picture:
            style |= SS_BITMAP | SS_REALSIZECONTROL;
            text.clear();
            break;
        case layout::Kind::Button:
            cls = WC_BUTTONW;
            style |= c.fillsBackground ? BS_OWNERDRAW : BS_PUSHBUTTON;
            break;
        case layout::Kind::Option: {
            cls = WC_BUTTONW;
            style |= BS_AUTORADIOBUTTON;
            const std::size_t slot = static_cast<std::size_t>(c.container + 1);
            group = !optionGroupStarted[slot];
            optionGroupStarted[slot] = true;
            break;
        }
        case layout::Kind::List:
            cls = WC_COMBOBOXW;
            style |= CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL;
            height = c.height + 12 * 16; // with the dropped list
            text.clear();
            break;
        case layout::Kind::TextBox:
            cls = WC_EDITW;
            style |= ES_AUTOHSCROLL;
            exStyle |= WS_EX_CLIENTEDGE;
            break;
        case layout::Kind::ProgressBar:
            cls = PROGRESS_CLASSW;
            text.clear();
            break;
        }
        if (group)
            style |= WS_GROUP;
        HWND w = CreateWindowExW(
            exStyle, cls, text.c_str(), style, c.x, c.y, c.width, height, parent,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + static_cast<int>(i))),
            instance, nullptr);
        handles_.controls[i] = w;
        if (!w)
            continue;
        SendMessageW(w, WM_SETFONT,
                     reinterpret_cast<WPARAM>(font(c.fontFamily, c.fontPoints, c.bold)), FALSE);
        if (c.kind == layout::Kind::Frame) {
            SetWindowSubclass(w, frameProcedure, kFrameSubclass, 0);
        } else if (c.kind == layout::Kind::List) {
            // The closed list is as high as the design says, whatever the font.
            // What the list reports back need not be what it was given, so
            // each step corrects what was given by what came out.
            LRESULT field = SendMessageW(w, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
            for (int tries = 0; tries < 3 && field > 0; ++tries) {
                RECT r{};
                GetWindowRect(w, &r);
                const int diff = c.height - (r.bottom - r.top);
                if (!diff || field + diff <= 0)
                    break;
                field += diff;
                SendMessageW(w, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
            }
        } else if (c.kind == layout::Kind::Picture) {
            auto bitmap = static_cast<HBITMAP>(LoadImageW(
                instance, pictureResource(c.picture).c_str(), IMAGE_BITMAP, c.width, c.height, 0));
            if (bitmap) {
                pictures_[c.name] = bitmap;
                SendMessageW(w, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
                SetWindowPos(w, nullptr, c.x, c.y, c.width, c.height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
    }
}

void Form1Window::startUp()
{
    if (!form_)
        return;
    form_->startUp();
    lastFocus_ = toolkit_->handle(Ctl::cmdSTART);
}

void Form1Window::show(int showCommand)
{
    if (!handles_.window)
        return;
    ShowWindow(handles_.window, showCommand);
    UpdateWindow(handles_.window);
    SetForegroundWindow(handles_.window);
    SetFocus(lastFocus_);
}

int Form1Window::run()
{
    MSG msg{};
    while (GetMessageW(&msg, nullptr, 0, 0) > 0)
        Win32Toolkit::dispatch(handles_, msg);
    return static_cast<int>(msg.wParam);
}

void Form1Window::close()
{
    if (IsWindow(handles_.window))
        SendMessageW(handles_.window, WM_CLOSE, 0, 0);
}

void Form1Window::releaseDevices()
{
    for (ChannelKind k : {ChannelKind::Serial, ChannelKind::Usb, ChannelKind::Network})
        if (channels_.channel(k).isOpen())
            channels_.channel(k).close();
}

void Form1Window::command(int id, int code)
{
    if (id >= kMenuIdBase && id < kMenuIdBase + static_cast<int>(std::size(layout::kMenu))) {
        const std::string name = layout::kMenu[id - kMenuIdBase].name;
        // A disabled entry's shortcut does nothing either.
        const Ctl item = name == "mnuFileOpen" ? Ctl::mnuFileOpen : Ctl::mnuFileExit;
        if (name != "mnuFileOpen" && name != "mnuFileExit")
            return;
        if (!toolkit_->isEnabled(item) || !toolkit_->isEnabled(Ctl::mnuFile))
            return;
        if (item == Ctl::mnuFileOpen)
            form_->openPackage();
        else
            close();
        return;
    }
    if (id == IDOK) {
        // Enter on a focused push button presses it; the window has no
        // keyboard commands of its own.
        HWND f = GetFocus();
        Ctl c;
        if (f && IsWindowEnabled(f) && toolkit_->controlOf(GetDlgCtrlID(f), c) &&
            (c == Ctl::cmdSTART || c == Ctl::cmdClose || c == Ctl::cmdCancel))
            SendMessageW(f, BM_CLICK, 0, 0);
        return;
    }
    Ctl c;
    if (!toolkit_->controlOf(id, c))
        return;
    switch (c) {
    case Ctl::OptSerial:
    case Ctl::OptUSB:
    case Ctl::OptEthernet:
        if (code == BN_CLICKED)
            toolkit_->userClicked(c);
        break;
    case Ctl::cboPORT:
    case Ctl::CboUSB:
    case Ctl::cboBaudRate:
    case Ctl::cboBitLength:
    case Ctl::cboParity:
    case Ctl::cboStopBit:
    case Ctl::cboHandShake:
        if (code == CBN_SELCHANGE)
            toolkit_->userPicked(c);
        break;
    case Ctl::cmdSTART:
        if (code == BN_CLICKED) {
            form_->startDownload();
            if (form_->endRequested())
                close();
        }
        break;
    case Ctl::cmdClose:
        if (code == BN_CLICKED) {
            form_->storeSettings();
            close();
        }
        break;
    case Ctl::cmdCancel:
        if (code == BN_CLICKED)
            close();
        break;
    default: break;
    }
}

LRESULT CALLBACK Form1Window::procedure(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    auto* self = reinterpret_cast<Form1Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self || !self->form_)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return self->handle(msg, wParam, lParam);
}

LRESULT Form1Window::handle(UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND hwnd = handles_.window;
    switch (msg) {
    case WM_COMMAND: command(LOWORD(wParam), HIWORD(wParam)); return 0;
    case WM_DRAWITEM:
        if (toolkit_->drawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_SETCURSOR:
        if (toolkit_->setCursor(reinterpret_cast<HWND>(wParam), LOWORD(lParam)))
            return TRUE;
        break;
    case WM_NOTIFY: {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        if (info->hdr.code == TTN_GETDISPINFOW && (info->uFlags & TTF_IDISHWND)) {
            static std::wstring tip;
            tip = toolkit_->toolTipFor(reinterpret_cast<HWND>(info->hdr.idFrom));
            info->lpszText = tip.data();
            return 0;
        }
        break;
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND f = GetFocus();
            if (f && IsChild(hwnd, f))
                lastFocus_ = f;
        } else if (lastFocus_ && IsWindowVisible(lastFocus_) && IsWindowEnabled(lastFocus_)) {
            SetFocus(lastFocus_);
        } else {
            SetFocus(GetNextDlgTabItem(hwnd, nullptr, FALSE));
        }
        return 0;
    case WM_CLOSE:
        // During a download the session stops at its next look, releases its
        // channel and returns; the window closes then.
        if (!form_->mayClose())
            return 0;
        releaseDevices();
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace fw
