#include "win32/win32_toolkit.h"

#include "form1_layout.h"
#include "base/wide_text.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace fw {

namespace {

// The bar counts in whole steps; a single-precision maximum can exceed the
// int range, so the bar shows the proportion on a fixed scale.
constexpr int kBarSteps = 1 << 20;

const char* nameOf(Ctl c)
{
    switch (c) {
    case Ctl::OptSerial: return "OptSerial";
    case Ctl::OptUSB: return "OptUSB";
    case Ctl::OptEthernet: return "OptEthernet";
    case Ctl::cboPORT: return "cboPORT";
    case Ctl::CboUSB: return "CboUSB";
    case Ctl::cboBaudRate: return "cboBaudRate";
    case Ctl::cboBitLength: return "cboBitLength";
    case Ctl::cboParity: return "cboParity";
    case Ctl::cboStopBit: return "cboStopBit";
    case Ctl::cboHandShake: return "cboHandShake";
    case Ctl::TextEthernet: return "TextEthernet";
    case Ctl::FrameSerial: return "FrameSerial";
    case Ctl::FrameUSB: return "FrameUSB";
    case Ctl::FrameEthernet: return "FrameEthernet";
    case Ctl::cmdSTART: return "cmdSTART";
    case Ctl::cmdCancel: return "cmdCancel";
    case Ctl::cmdClose: return "cmdClose";
    case Ctl::ProgressBar: return "ProgressBar";
    case Ctl::Label3: return "Label3";
    case Ctl::lblFileType: return "lblFileType";
    case Ctl::lblFileName: return "lblFileName";
    case Ctl::lblSize: return "lblSize";
    case Ctl::mnuFile: return "mnuFile";
    case Ctl::mnuFileOpen: return "mnuFileOpen";
    case Ctl::mnuFileExit: return "mnuFileExit";
    }
    return "";
}

constexpr Ctl kOptions[] = {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet};
constexpr Ctl kLists[] = {Ctl::cboPORT,   Ctl::CboUSB,     Ctl::cboBaudRate, Ctl::cboBitLength,
                          Ctl::cboParity, Ctl::cboStopBit, Ctl::cboHandShake};

std::wstring windowText(HWND w)
{
    const int n = GetWindowTextLengthW(w);
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = GetWindowTextW(w, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(std::max(got, 0)));
    return s;
}

// The position of the menu bar entry holding command `id`, or -1.
int menuBarPosition(int index)
{
    int bar = -1;
    for (int i = 0; i <= index && i < static_cast<int>(std::size(layout::kMenu)); ++i)
        if (layout::kMenu[i].level == 0)
            ++bar;
    return bar;
}

} // namespace

int layoutIndex(const char* name)
{
    for (std::size_t i = 0; i < std::size(layout::kControls); ++i)
        if (std::strcmp(layout::kControls[i].name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

int menuIndex(const char* name)
{
    for (std::size_t i = 0; i < std::size(layout::kMenu); ++i)
        if (!layout::kMenu[i].separator && std::strcmp(layout::kMenu[i].name, name) == 0)
            return static_cast<int>(i);
    return -1;
}

Win32Toolkit::Win32Toolkit(const Form1Handles& handles) : h_(handles)
{
    SendMessageW(handle(Ctl::ProgressBar), PBM_SETRANGE32, 0, kBarSteps);
    SendMessageW(handle(Ctl::ProgressBar), PBM_SETPOS, 0, 0);
    if (HWND counter = handle(Ctl::Label3)) {
        RECT r{};
        GetWindowRect(counter, &r);
        MapWindowPoints(HWND_DESKTOP, GetParent(counter), reinterpret_cast<POINT*>(&r), 2);
        counterRight_ = r.right;
    }
    tabToSelectedOption();
}

Win32Toolkit::~Win32Toolkit()
{
    if (toolTip_)
        DestroyWindow(toolTip_);
}

HWND Win32Toolkit::handle(Ctl c) const
{
    const int i = layoutIndex(nameOf(c));
    return i < 0 || static_cast<std::size_t>(i) >= h_.controls.size()
               ? nullptr
               : h_.controls[static_cast<std::size_t>(i)];
}

bool Win32Toolkit::controlOf(int id, Ctl& c) const
{
    const int i = id - kControlIdBase;
    if (i < 0 || static_cast<std::size_t>(i) >= std::size(layout::kControls))
        return false;
    for (int k = 0; k <= static_cast<int>(Ctl::mnuFileExit); ++k) {
        if (std::strcmp(nameOf(static_cast<Ctl>(k)), layout::kControls[i].name) == 0) {
            c = static_cast<Ctl>(k);
            return true;
        }
    }
    return false;
}

int Win32Toolkit::menuCommand(Ctl c) const
{
    if (c != Ctl::mnuFile && c != Ctl::mnuFileOpen && c != Ctl::mnuFileExit)
        return -1;
    return menuIndex(nameOf(c));
}

void Win32Toolkit::setEnabled(Ctl c, bool enabled)
{
    if (const int m = menuCommand(c); m >= 0) {
        const UINT state = enabled ? MF_ENABLED : MF_GRAYED;
        if (layout::kMenu[m].level == 0) {
            EnableMenuItem(h_.menuBar, static_cast<UINT>(menuBarPosition(m)),
                           MF_BYPOSITION | state);
            DrawMenuBar(h_.window);
        } else {
            EnableMenuItem(h_.menuBar, static_cast<UINT>(kMenuIdBase + m), MF_BYCOMMAND | state);
        }
        return;
    }
    if (HWND w = handle(c))
        EnableWindow(w, enabled);
}

bool Win32Toolkit::isEnabled(Ctl c) const
{
    if (const int m = menuCommand(c); m >= 0) {
        const UINT state =
            layout::kMenu[m].level == 0
                ? GetMenuState(h_.menuBar, static_cast<UINT>(menuBarPosition(m)), MF_BYPOSITION)
                : GetMenuState(h_.menuBar, static_cast<UINT>(kMenuIdBase + m), MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
    }
    HWND w = handle(c);
    return w && IsWindowEnabled(w);
}

void Win32Toolkit::setVisible(Ctl c, bool visible)
{
    if (HWND w = handle(c))
        ShowWindow(w, visible ? SW_SHOWNA : SW_HIDE);
}

bool Win32Toolkit::isVisible(Ctl c) const
{
    // Whether the control is set to show, even before the window is shown.
    HWND w = handle(c);
    return w && (GetWindowLongW(w, GWL_STYLE) & WS_VISIBLE) != 0;
}

std::optional<Ctl> Win32Toolkit::focus() const
{
    HWND f = GetFocus();
    Ctl c;
    if (f && IsChild(h_.window, f) && controlOf(GetDlgCtrlID(f), c))
        return c;
    return std::nullopt;
}

void Win32Toolkit::setFocus(Ctl c)
{
    if (HWND w = handle(c); w && IsWindowEnabled(w) && IsWindowVisible(w))
        SetFocus(w);
}

bool Win32Toolkit::isSelected(Ctl option) const
{
    HWND w = handle(option);
    return w && std::find(std::begin(kOptions), std::end(kOptions), option) != std::end(kOptions) &&
           SendMessageW(w, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32Toolkit::select(Ctl option)
{
    if (std::find(std::begin(kOptions), std::end(kOptions), option) == std::end(kOptions))
        return;
    for (Ctl o : kOptions)
        SendMessageW(handle(o), BM_SETCHECK, o == option ? BST_CHECKED : BST_UNCHECKED, 0);
    tabToSelectedOption();
    if (events_)
        events_->optionClicked(option);
}

void Win32Toolkit::userClicked(Ctl option)
{
    tabToSelectedOption();
    if (events_)
        events_->optionClicked(option);
}

void Win32Toolkit::userPicked(Ctl list)
{
    if (events_)
        events_->listClicked(list);
}

void Win32Toolkit::tabToSelectedOption()
{
    // Tab enters the option group at the selected button only (any of them
    // while none is selected); the arrow keys move within the group.
    bool anySelected = false;
    for (Ctl o : kOptions)
        anySelected = anySelected || isSelected(o);
    for (Ctl o : kOptions) {
        HWND w = handle(o);
        if (!w)
            continue;
        LONG style = GetWindowLongW(w, GWL_STYLE);
        const bool stop = !anySelected || isSelected(o);
        style = stop ? (style | WS_TABSTOP) : (style & ~static_cast<LONG>(WS_TABSTOP));
        SetWindowLongW(w, GWL_STYLE, style);
    }
}

void Win32Toolkit::clearList(Ctl list)
{
    if (HWND w = handle(list)) {
        SendMessageW(w, CB_RESETCONTENT, 0, 0);
        tips_.erase(w);
    }
}

void Win32Toolkit::addItem(Ctl list, const std::string& text)
{
    // Appending keeps "no selection": the lists are not sorted.
    if (HWND w = handle(list)) {
        const std::wstring t = wideFromUtf8(text);
        SendMessageW(w, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.c_str()));
    }
}

int Win32Toolkit::itemCount(Ctl list) const
{
    HWND w = handle(list);
    const LRESULT n = w ? SendMessageW(w, CB_GETCOUNT, 0, 0) : 0;
    return n < 0 ? 0 : static_cast<int>(n);
}

int Win32Toolkit::listIndex(Ctl list) const
{
    HWND w = handle(list);
    return w ? static_cast<int>(SendMessageW(w, CB_GETCURSEL, 0, 0)) : -1;
}

void Win32Toolkit::setListIndex(Ctl list, int index)
{
    HWND w = handle(list);
    if (!w)
        return;
    SendMessageW(w, CB_SETCURSEL, index >= 0 && index < itemCount(list) ? index : -1, 0);
    if (events_)
        events_->listClicked(list);
}

std::string Win32Toolkit::itemText(Ctl list, int index) const
{
    HWND w = handle(list);
    if (!w || index < 0 || index >= itemCount(list))
        return {};
    const LRESULT n = SendMessageW(w, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (n < 0)
        return {};
    std::wstring s(static_cast<std::size_t>(n) + 1, L'\0');
    SendMessageW(w, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<std::size_t>(n));
    return utf8FromWide(s);
}

std::string Win32Toolkit::listText(Ctl list) const
{
    return itemText(list, listIndex(list));
}

void Win32Toolkit::setItemToolTip(Ctl list, int index, const std::string& tip)
{
    HWND w = handle(list);
    if (!w || index < 0)
        return;
    auto& tips = tips_[w];
    if (tips.size() <= static_cast<std::size_t>(index))
        tips.resize(static_cast<std::size_t>(index) + 1);
    tips[static_cast<std::size_t>(index)] = wideFromUtf8(tip);
    if (!toolTip_) {
        toolTip_ =
            CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, h_.window,
                            nullptr, GetModuleHandleW(nullptr), nullptr);
    }
    if (!toolTip_)
        return;
    // The tip of the entry shown; asked for when it is about to appear.
    TTTOOLINFOW info{};
    info.cbSize = sizeof info;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = h_.window;
    info.uId = reinterpret_cast<UINT_PTR>(w);
    info.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(toolTip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    SendMessageW(toolTip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
}

std::wstring Win32Toolkit::toolTipFor(HWND list) const
{
    const auto it = tips_.find(list);
    if (it == tips_.end())
        return {};
    const LRESULT i = SendMessageW(list, CB_GETCURSEL, 0, 0);
    if (i < 0 || static_cast<std::size_t>(i) >= it->second.size())
        return {};
    return it->second[static_cast<std::size_t>(i)];
}

std::string Win32Toolkit::text(Ctl c) const
{
    HWND w = handle(c);
    return w ? utf8FromWide(windowText(w)) : std::string();
}

void Win32Toolkit::setText(Ctl c, const std::string& text)
{
    HWND w = handle(c);
    if (!w)
        return;
    SetWindowTextW(w, wideFromUtf8(text).c_str());
    if (c == Ctl::Label3)
        fitCounter();
}

void Win32Toolkit::fitCounter()
{
    // The counter is right-aligned under the bar's right end and grows to the
    // left so a long count stays readable.
    HWND w = handle(Ctl::Label3);
    HDC dc = GetDC(w);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)));
    const std::wstring t = windowText(w);
    SIZE size{};
    GetTextExtentPoint32W(dc, t.c_str(), static_cast<int>(t.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(w, dc);
    RECT r{};
    GetWindowRect(w, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(w), reinterpret_cast<POINT*>(&r), 2);
    const int idx = layoutIndex("Label3");
    const int designWidth = idx >= 0 ? layout::kControls[idx].width : 17;
    const int width = std::max(static_cast<int>(size.cx) + 4, designWidth);
    SetWindowPos(w, nullptr, counterRight_ - width, r.top, width, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(w, nullptr, TRUE);
}

void Win32Toolkit::setBackColour(Ctl button, std::uint32_t bgr)
{
    HWND w = handle(button);
    if (!w)
        return;
    colours_[w] = bgr & 0xFFFFFFu;
    InvalidateRect(w, nullptr, TRUE);
}

std::uint32_t Win32Toolkit::backColour(Ctl button) const
{
    HWND w = handle(button);
    const auto it = colours_.find(w);
    return it != colours_.end() ? it->second
                                : static_cast<std::uint32_t>(GetSysColor(COLOR_BTNFACE));
}

bool Win32Toolkit::drawButton(const DRAWITEMSTRUCT& d)
{
    if (d.CtlType != ODT_BUTTON)
        return false;
    const auto it = colours_.find(d.hwndItem);
    const COLORREF colour = it != colours_.end() ? it->second : GetSysColor(COLOR_BTNFACE);
    RECT r = d.rcItem;
    const bool pressed = (d.itemState & ODS_SELECTED) != 0;
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(d.hDC, &r, brush);
    DeleteObject(brush);
    DrawEdge(d.hDC, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const std::wstring caption = windowText(d.hwndItem);
    SetBkMode(d.hDC, TRANSPARENT);
    SetTextColor(d.hDC, GetSysColor((d.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    RECT t = r;
    if (pressed)
        OffsetRect(&t, 1, 1);
    DrawTextW(d.hDC, caption.c_str(), static_cast<int>(caption.size()), &t,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (d.itemState & ODS_FOCUS) {
        InflateRect(&t, -4, -4);
        DrawFocusRect(d.hDC, &t);
    }
    return true;
}

void Win32Toolkit::showProgressShare(double share)
{
    SendMessageW(handle(Ctl::ProgressBar), PBM_SETPOS,
                 static_cast<WPARAM>(std::lround(share * kBarSteps)), 0);
}

void Win32Toolkit::setPointer(Pointer p)
{
    pointer_ = p;
    // Shown at once when the pointer is over the window; boxes and dialogs
    // opened meanwhile keep their own.
    POINT at{};
    GetCursorPos(&at);
    HWND over = WindowFromPoint(at);
    if (over && (over == h_.window || IsChild(h_.window, over)))
        SendMessageW(over, WM_SETCURSOR, reinterpret_cast<WPARAM>(over),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
}

bool Win32Toolkit::setCursor(HWND over, int hitTest)
{
    if (pointer_ != Pointer::Hourglass || hitTest != HTCLIENT)
        return false;
    if (over != h_.window && !IsChild(h_.window, over))
        return false;
    SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    return true;
}

void Win32Toolkit::dispatch(const Form1Handles& h, MSG& msg)
{
    if (h.window && TranslateAcceleratorW(h.window, h.accelerators, &msg))
        return;
    if (h.window && IsDialogMessageW(h.window, &msg))
        return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void Win32Toolkit::processEvents()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // The loop of the window ends on it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        dispatch(h_, msg);
    }
}

void Win32Toolkit::processWindowRequests()
{
    // Only what the window system asks of the window: a close, and the
    // system commands (the close button arrives as one).
    MSG msg;
    while (PeekMessageW(&msg, h_.window, WM_CLOSE, WM_CLOSE, PM_REMOVE))
        DispatchMessageW(&msg);
    while (PeekMessageW(&msg, h_.window, WM_SYSCOMMAND, WM_SYSCOMMAND, PM_REMOVE))
        DispatchMessageW(&msg);
}

void Win32Toolkit::closeWindow()
{
    if (IsWindow(h_.window))
        SendMessageW(h_.window, WM_CLOSE, 0, 0);
}

void Win32Toolkit::messageBox(const std::string& text, bool exclamation, const std::string& title)
{
    if (!IsWindow(h_.window))
        return; // the program is ending
    const std::wstring t = wideFromUtf8(title.empty() ? std::string(kProgramTitle) : title);
    MessageBoxW(h_.window, wideFromUtf8(text).c_str(), t.c_str(),
                MB_OK | (exclamation ? MB_ICONEXCLAMATION : 0u));
}

OpenDialogResult Win32Toolkit::showOpenDialog(const OpenDialogSetup& setup)
{
    if (!IsWindow(h_.window))
        return {};
    // "Description|pattern|..." as pairs of NUL-terminated texts.
    std::wstring filter = wideFromUtf8(setup.filter);
    std::replace(filter.begin(), filter.end(), L'|', L'\0');
    filter.append(2, L'\0');
    const std::wstring title = wideFromUtf8(setup.title);
    const std::wstring initialDir = wideFromUtf8(setup.initialDir);

    // The dialog keeps the full name of its last use and opens where that
    // file is; the starting folder counts only while it holds no name.
    wchar_t file[MAX_PATH] = {};
    if (lastFile_.size() < MAX_PATH)
        std::copy(lastFile_.begin(), lastFile_.end(), file);

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = h_.window;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrInitialDir = file[0] ? nullptr : initialDir.c_str();
    ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
    ofn.Flags = setup.flags | OFN_EXPLORER;
    if (!GetOpenFileNameW(&ofn) || !file[0])
        return {}; // cancelled, or a name longer than the dialog takes
    lastFile_ = file;
    OpenDialogResult r;
    r.fileName = utf8FromWide(lastFile_);
    r.fileTitle =
        utf8FromWide(lastFile_.substr(std::min<std::size_t>(ofn.nFileOffset, lastFile_.size())));
    return r;
}

} // namespace fw
