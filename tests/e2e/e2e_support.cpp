#include "e2e_support.h"

#include "ui_Form1.h"

#include <QPushButton>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fw::e2e {

namespace fs = std::filesystem;

ProgramFolder::ProgramFolder()
{
    std::string templ = (fs::temp_directory_path() / "fw-e2e-XXXXXX").string();
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    dir_ = templ;
    fs::create_directories(dir_ / "K20T");
    // The library of this build, found beside the program as in a real install.
    const fs::path lib = fs::path(TAVLIB_PATH);
    if (fs::exists(lib))
        fs::create_symlink(lib, dir_ / lib.filename());
}

ProgramFolder::~ProgramFolder()
{
    std::error_code ec;
    fs::remove_all(dir_, ec);
}

std::string ProgramFolder::addPackage(const samples::Package& p, const std::string& folder)
{
    fs::create_directories(dir_ / folder);
    const fs::path file = dir_ / folder / p.name;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(p.bytes.data()),
              static_cast<std::streamsize>(p.bytes.size()));
    return file.string();
}

void ProgramFolder::writeSettings(const std::string& text)
{
    std::ofstream(dir_ / "Firmware.ini", std::ios::binary | std::ios::trunc) << text;
}

std::string ProgramFolder::readSettings() const
{
    std::ifstream in(dir_ / "Firmware.ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

QStringList downloadThroughWindow(MainWindow& window, const std::string& package)
{
    ModalResponder user(20000);
    user.files << QString::fromStdString(package);
    window.controls().cmdSTART->click(); // returns when the session has ended
    QStringList seen = user.boxes;
    for (const QString& s : user.stuck)
        seen << "stuck: " + s;
    return seen;
}

QStringList downloadInNextRun(ProgramFolder& folder, const samples::Package& package, Clock* clock)
{
    ProgramWindow next(folder.str(), clock);
    next->startUp();
    next->show();
    return downloadThroughWindow(next, folder.addPackage(package));
}

} // namespace fw::e2e

#ifdef FW_E2E_X11
#include <X11/Xlib.h> // last: its macros clash with names used above

bool fw::e2e::sendWindowManagerClose(unsigned long window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, window, False, NoEventMask, &event) != 0;
    XSync(display, False);
    XCloseDisplay(display);
    return sent;
}
#else
bool fw::e2e::sendWindowManagerClose(unsigned long)
{
    return false;
}
#endif

// Allocations the system libraries keep until exit, not ours: libsmbclient's
// process-wide state, and Qt Core's for the file dialog's helper thread,
// which may still be winding down when a test ends.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libtalloc.so\nleak:libsmbclient.so\nleak:libsamba\nleak:libsmbconf.so\nleak:"
           "libQt6Core.so\n";
}
