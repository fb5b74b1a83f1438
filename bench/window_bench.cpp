// window_bench: a download through the real window against the same download
// without a window and against the least a program can do, all on one
// pseudo-terminal with the printer simulator (in this process) acknowledging
// at once; then the window's processor time with a slow printer, Firmware's
// start-up time and the window's peak memory.
//
//   window_bench [rounds]        (default 3)
//
// Each download runs in a fresh process of this program, so that the printer
// is another process for all three, as a real printer would be:
//  window   the window put together as Firmware does (offscreen platform);
//           presses Download Start and answers the Open dialog and the
//           outcome box as a user would
//  session  the download session with a view that shows nothing
//  C loop   serial_reference.c: write, poll, read per record, nothing else
// Rates count the records after the first acknowledgement over the time from
// it to the outcome (window, session), or every record over the whole loop
// (C loop): reading the package and the model query are left out. The rounds
// alternate the three; a shared machine only ever slows a run down, so the
// ratios are taken from each side's fastest run, with the medians beside.
//
// Start-up: the real Firmware, copied into a program folder of its own, is
// started with QT_LOAD_TESTABILITY=1 so that Qt loads shown_probe.cpp, which
// reports the main window's first frame; timed from just before the process
// is spawned until the report arrives.
// Peak memory: the window process's peak resident set (VmHWM), for a 4 MiB
// and a 64 MiB package, and Firmware's just after start-up for scale.

#include "serial_reference.h"

#include "choice/printer_access.h"
#include "engine/session.h"
#include "form/session_view.h"
#include "modal_responder.h"
#include "printer_sim.h"
#include "pseudo_terminal.h"
#include "sample_packages.h"
#include "ui_Form1.h"
#include "window/main_window.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using SteadyTime = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr double kMiB = 1024.0 * 1024.0;
const char* const kSettings = "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=0\r\nBaudRate=2\r\n";

double seconds(SteadyTime::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The peak resident set of a process since it loaded its program (VmHWM).
// Not ru_maxrss, which also counts the pages of the process that spawned it
// as they stood just before.
long peakResidentKiB(const std::string& pid)
{
    std::ifstream in("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What a download process reports, on one line of its standard output.
struct Measure {
    bool ok = false;
    double seconds = 0; // over `intervals` records
    std::size_t intervals = 0;
    double cpu = 0; // processor time over the same span
    long peakKiB = 0;
    std::string note;        // why not ok
    std::size_t printed = 0; // records the printer took (filled in by this process)
    double rate() const { return seconds > 0 ? static_cast<double>(intervals) / seconds : 0; }
    double cpuShare() const { return seconds > 0 ? cpu / seconds : 0; }
};

void printResult(const Measure& m)
{
    std::string note = m.note.empty() ? "-" : m.note;
    std::replace(note.begin(), note.end(), ' ', '_');
    std::printf("\nresult %d %.6f %zu %.6f %ld %s\n", m.ok ? 1 : 0, m.seconds, m.intervals, m.cpu,
                peakResidentKiB("self"), note.c_str());
    std::fflush(stdout);
}

Measure parseResult(const std::string& out)
{
    Measure m;
    const auto at = out.rfind("\nresult ");
    if (at == std::string::npos) {
        m.note = "the process gave no result";
        return m;
    }
    std::istringstream in(out.substr(at + 8));
    int ok = 0;
    in >> ok >> m.seconds >> m.intervals >> m.cpu >> m.peakKiB >> m.note;
    m.ok = ok == 1 && in;
    std::replace(m.note.begin(), m.note.end(), '_', ' ');
    if (m.note == "-")
        m.note.clear();
    return m;
}

// ---- the download processes ---------------------------------------------

// Notes the first message box as it appears, with the counter and the bar
// the window shows at that moment.
class BoxWatch final : public QObject {
public:
    explicit BoxWatch(Ui::Form1& ui) : ui_(ui) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && !at) {
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                at = SteadyTime::now();
                cpu = cpuSeconds();
                text = box->text().toStdString();
                counter = ui_.Label3->text().toStdString();
                barFull = ui_.ProgressBar->value() == ui_.ProgressBar->maximum();
            }
        }
        return false;
    }
    std::optional<SteadyTime::time_point> at;
    double cpu = 0;
    std::string text, counter;
    bool barFull = false;

private:
    Ui::Form1& ui_;
};

// --window <program folder> <package>
int windowProcess(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setStyle(QStyleFactory::create("Fusion"));
    const std::string dir = argv[2];
    const std::string package = argv[3];
    const auto size = static_cast<std::int64_t>(fs::file_size(package));

    fw::PrinterAccess access(fw::portableLocations(dir));
    fw::MainWindow window(dir, access.usb, access.channels, access.clock);
    window.startUp();
    window.show();
    window.activateWindow();

    // The first acknowledged record moves the bar.
    std::optional<SteadyTime::time_point> first;
    double firstCpu = 0;
    QObject::connect(window.controls().ProgressBar, &QProgressBar::valueChanged, &window, [&] {
        if (!first) {
            first = SteadyTime::now();
            firstCpu = cpuSeconds();
        }
    });
    BoxWatch box(window.controls());
    app.installEventFilter(&box);

    fw::ModalResponder user(600000);
    user.onDialog = [&](QFileDialog& dialog) {
        if (auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setText(QString::fromStdString(package));
        static_cast<QDialog&>(dialog).accept();
    };
    QTimer::singleShot(0, &window, [&] {
        window.controls().cmdSTART->click(); // returns when the session has ended
        QApplication::exit(0);
    });
    app.exec();

    Measure m;
    const std::string counter = fw::counterText(size, static_cast<float>(size));
    if (first && box.at) {
        m.seconds = seconds(*box.at - *first);
        m.cpu = box.cpu - firstCpu;
    }
    m.intervals = 1; // the printer's count, less one, is put in by the caller
    m.ok = first && box.at && box.text == fw::kMsgDownloadSuccess && box.counter == counter &&
           box.barFull;
    if (!m.ok)
        m.note = "outcome \"" + box.text + "\", counter " + box.counter +
                 (box.barFull ? "" : ", bar not full") + " as the box showed";
    printResult(m);
    return 0;
}

// Whoever runs the session, without a screen.
class HeadlessView final : public fw::SessionView {
public:
    std::optional<fw::ChannelKind> chosenInterface() override { return fw::ChannelKind::Serial; }
    fw::ChannelSettings channelSettings() override
    {
        fw::ChannelSettings s;
        s.portNumber = 1;
        s.line = {9600, 'N', 8, 1};
        return s;
    }
    void lockControls(bool) override {}
    void showBusy(bool) override {}
    void setProgressMaximum(float) override {}
    void showProgress(std::int64_t) override
    {
        if (!first) {
            first = SteadyTime::now();
            firstCpu = cpuSeconds();
        }
    }
    void showMessage(const std::string&) override
    {
        end = SteadyTime::now();
        endCpu = cpuSeconds();
    }
    void processEvents() override {}
    bool endRequested() override { return false; }

    std::optional<SteadyTime::time_point> first, end;
    double firstCpu = 0, endCpu = 0;
};

// --session <program folder> <package>
int sessionProcess(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::string dir = argv[2];
    fw::PrinterAccess access(fw::portableLocations(dir));
    fw::DownloadSession session(access.channels, access.clock);
    HeadlessView view;
    const fw::SessionOutcome outcome = session.run(argv[3], view);
    Measure m;
    if (view.first && view.end) {
        m.seconds = seconds(*view.end - *view.first);
        m.cpu = view.endCpu - view.firstCpu;
    }
    m.intervals = outcome.recordsSent > 0 ? outcome.recordsSent - 1 : 0;
    m.ok = outcome.kind == fw::SessionOutcome::Kind::Success && m.seconds > 0;
    if (!m.ok)
        m.note = "outcome \"" + outcome.text() + "\"";
    printResult(m);
    return 0;
}

// --c-loop <device> <package>
int cLoopProcess(char** argv)
{
    const Bytes bytes = readFile(argv[3]);
    std::vector<std::size_t> starts, lengths;
    std::size_t at = 0;
    for (const auto& r : fw::sim::splitPackage(bytes)) {
        while (bytes[at] != fw::sim::kSoh)
            ++at;
        starts.push_back(at);
        lengths.push_back(r.size());
        at += r.size() + 2;
    }
    const double cpu0 = cpuSeconds();
    const auto t0 = SteadyTime::now();
    const long n =
        fw_reference_download(argv[2], bytes.data(), starts.data(), lengths.data(), starts.size());
    Measure m;
    m.seconds = seconds(SteadyTime::now() - t0);
    m.cpu = cpuSeconds() - cpu0;
    m.intervals = n > 0 ? static_cast<std::size_t>(n) : 0;
    m.ok = m.intervals == starts.size();
    if (!m.ok)
        m.note =
            std::to_string(n) + " of " + std::to_string(starts.size()) + " records acknowledged";
    printResult(m);
    return 0;
}

// ---- this process: the printer, and the runs side by side ---------------

struct Package {
    std::string path;
    std::size_t size = 0;
    std::vector<Bytes> records; // as the printer frames them
};

Package writePackage(const fs::path& folder, const std::string& name, int records)
{
    Package p;
    const fw::samples::Package made =
        fw::samples::make(fw::samples::Shape::Plain, false, records, 136);
    p.path = (folder / "K20T" / name).string();
    std::ofstream(p.path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(made.bytes.data()),
               static_cast<std::streamsize>(made.bytes.size()));
    p.size = made.bytes.size();
    p.records = fw::sim::splitPackage(made.bytes);
    return p;
}

std::vector<char*> environmentWith(std::vector<std::string>& keep,
                                   const std::vector<std::string>& set)
{
    keep = set;
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        const std::string_view entry = *e;
        const bool replaced = std::any_of(set.begin(), set.end(), [&](const std::string& s) {
            return entry.substr(0, entry.find('=') + 1) ==
                   std::string_view(s).substr(0, s.find('=') + 1);
        });
        if (!replaced)
            env.push_back(*e);
    }
    for (std::string& s : keep)
        env.push_back(s.data());
    env.push_back(nullptr);
    return env;
}

// Runs this program with `args`, its standard output collected; the standard
// error and anything the program prints besides its result are dropped.
std::string runSelf(std::vector<std::string> args, std::chrono::seconds limit)
{
    std::error_code ec;
    args.insert(args.begin(), fs::read_symlink("/proc/self/exe", ec).string());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> keep;
    const auto env = environmentWith(keep, {"QT_QPA_PLATFORM=offscreen"});
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    if (spawned == 0) {
        const auto deadline = SteadyTime::now() + limit;
        char buffer[4096];
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyTime::now());
            pollfd p{out[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) {
                ::kill(pid, SIGKILL);
                break;
            }
            const ssize_t n = ::read(out[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
    ::close(out[0]);
    return text;
}

enum class Side { Window, Session, CLoop };

// One download by `side` of `p`, the printer in this process.
Measure download(Side side, int printerFd, const std::string& device, const fs::path& folder,
                 const Package& p, std::chrono::milliseconds ackDelay)
{
    fw::sim::PrinterScript script;
    script.packageRecords = p.records;
    script.ackDelay = ackDelay;
    fw::sim::PrinterSimulator printer(printerFd, script);
    std::thread serve([&] { printer.run(); });
    const char* mode = side == Side::Window    ? "--window"
                       : side == Side::Session ? "--session"
                                               : "--c-loop";
    const std::string where = side == Side::CLoop ? device : folder.string();
    Measure m = parseResult(runSelf({mode, where, p.path}, std::chrono::seconds(1200)));
    printer.stop();
    serve.join();
    m.printed = printer.records().size();
    if (side == Side::Window)
        m.intervals = m.printed > 0 ? m.printed - 1 : 0;
    if (m.ok && m.printed != p.records.size()) {
        m.ok = false;
        m.note = "the printer took " + std::to_string(m.printed) + " of " +
                 std::to_string(p.records.size()) + " records";
    }
    return m;
}

// The real program from its start to its window on screen.
struct Startup {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;
};

Startup startFirmware(const fs::path& program)
{
    Startup s;
    int shown[2];
    if (::pipe2(shown, O_CLOEXEC) != 0)
        return s;
    std::vector<std::string> keep;
    std::string libraryPath = FW_PROBE_DIR;
    if (const char* old = std::getenv("LD_LIBRARY_PATH"); old && *old)
        libraryPath += std::string(":") + old;
    const auto env = environmentWith(keep, {"QT_QPA_PLATFORM=offscreen", "QT_LOAD_TESTABILITY=1",
                                            "LD_LIBRARY_PATH=" + libraryPath, "FW_SHOWN_FD=3"});
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, shown[1], 3);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string path = program.string();
    char* argv[] = {path.data(), nullptr};
    pid_t pid = 0;
    const auto t0 = SteadyTime::now();
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(shown[1]);
    if (spawned != 0) {
        ::close(shown[0]);
        return s;
    }
    pollfd p{shown[0], POLLIN, 0};
    char line[16] = {};
    if (::poll(&p, 1, 20000) == 1 && ::read(shown[0], line, sizeof line - 1) > 0) {
        s.seconds = seconds(SteadyTime::now() - t0);
        s.ok = std::strncmp(line, "shown", 5) == 0;
    }
    ::close(shown[0]);
    s.peakKiB = peakResidentKiB(std::to_string(pid));
    ::kill(pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return s;
}

template <typename T, typename Key>
T medianBy(std::vector<T> v, Key key)
{
    std::sort(v.begin(), v.end(), [&](const T& a, const T& b) { return key(a) < key(b); });
    return v[v.size() / 2];
}

double fastest(const std::vector<Measure>& runs)
{
    double best = 0;
    for (const Measure& m : runs)
        best = std::max(best, m.rate());
    return best;
}

bool allOk(const std::vector<Measure>& runs, bool& ok)
{
    for (const Measure& m : runs) {
        if (!m.ok) {
            std::printf("  FAILED: %s\n", m.note.c_str());
            ok = false;
        }
    }
    return ok;
}

void showRates(const char* name, const std::vector<Measure>& runs)
{
    const Measure mid = medianBy(runs, [](const Measure& m) { return m.rate(); });
    std::printf("  %-8s fastest %7.0f records/s  median %7.0f records/s  cpu %5.1f us/record\n",
                name, fastest(runs), mid.rate(),
                mid.intervals ? mid.cpu / static_cast<double>(mid.intervals) * 1e6 : 0.0);
}

int benchmark(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    char templ[] = "/tmp/fw-window-bench.XXXXXX";
    if (!::mkdtemp(templ))
        return 1;
    const fs::path folder = templ;
    std::error_code ec;
    const fs::path tavlib = FW_TAVLIB;
    auto programFolder = [&](const fs::path& dir) {
        fs::create_directories(dir / "K20T");
        std::ofstream(dir / "Firmware.ini", std::ios::binary) << kSettings;
        if (!tavlib.empty() && fs::exists(tavlib))
            fs::create_symlink(tavlib, dir / tavlib.filename(), ec);
    };
    programFolder(folder);

    fw::sim::PseudoTerminal pty(false);
    std::string why;
    if (!pty.ok() || !pty.linkAsCom(folder.string(), 1, why)) {
        std::fprintf(stderr, "window_bench: no pseudo-terminal: %s %s\n", pty.error().c_str(),
                     why.c_str());
        return 1;
    }
    const int fd = pty.master();
    const std::string device = pty.slavePath();
    bool ok = true;

    // Rates, side by side.
    const Package small = writePackage(folder, "FIRMWARE_4M.DPX", 30000);
    std::printf(
        "window_bench: %zu records, %.1f MiB, over %s with the printer acknowledging at once; "
        "%d rounds\n",
        small.records.size(), static_cast<double>(small.size) / kMiB, device.c_str(), rounds);
    std::vector<Measure> windows, sessions, loops;
    for (int r = 0; r < rounds; ++r) {
        windows.push_back(download(Side::Window, fd, device, folder, small, {}));
        sessions.push_back(download(Side::Session, fd, device, folder, small, {}));
        loops.push_back(download(Side::CLoop, fd, device, folder, small, {}));
    }
    showRates("window", windows);
    showRates("session", sessions);
    showRates("C loop", loops);
    allOk(windows, ok);
    allOk(sessions, ok);
    allOk(loops, ok);
    const double windowToSession = fastest(windows) / std::max(1.0, fastest(sessions));
    const double sessionToLoop = fastest(sessions) / std::max(1.0, fastest(loops));
    auto medianRate = [](const std::vector<Measure>& runs) {
        return medianBy(runs, [](const Measure& m) { return m.rate(); }).rate();
    };
    std::printf("  window / session  %.3f (medians %.3f)  goal >= 0.90\n", windowToSession,
                medianRate(windows) / std::max(1.0, medianRate(sessions)));
    std::printf("  session / C loop  %.3f (medians %.3f)  goal >= 0.95\n", sessionToLoop,
                medianRate(sessions) / std::max(1.0, medianRate(loops)));

    // A printer that takes 2 ms per record: the window must wait, not work.
    const Package slow = writePackage(folder, "FIRMWARE_SLOW.DPX", 1000);
    const auto delay = std::chrono::milliseconds(2);
    std::printf("\nprinter acknowledging after 2 ms, %zu records; processor time as a share of "
                "wall time:\n",
                slow.records.size());
    std::vector<Measure> slowWindows, slowSessions;
    for (int r = 0; r < rounds; ++r) {
        slowWindows.push_back(download(Side::Window, fd, device, folder, slow, delay));
        slowSessions.push_back(download(Side::Session, fd, device, folder, slow, delay));
    }
    allOk(slowWindows, ok);
    allOk(slowSessions, ok);
    const auto byShare = [](const Measure& m) { return m.cpuShare(); };
    const double windowShare = medianBy(slowWindows, byShare).cpuShare();
    const double sessionShare = medianBy(slowSessions, byShare).cpuShare();
    std::printf("  window   median %4.1f%%  (runs:", 100 * windowShare);
    for (const Measure& m : slowWindows)
        std::printf(" %.1f%%", 100 * m.cpuShare());
    std::printf(")  goal <= 5%%\n  session  median %4.1f%%  (runs:", 100 * sessionShare);
    for (const Measure& m : slowSessions)
        std::printf(" %.1f%%", 100 * m.cpuShare());
    std::printf(")\n");

    // Start-up of the real program.
    const fs::path startFolder = folder / "start";
    programFolder(startFolder);
    const fs::path firmware = startFolder / "Firmware";
    fs::copy_file(FW_FIRMWARE, firmware, fs::copy_options::overwrite_existing, ec);
    std::vector<Startup> starts;
    for (int i = 0; i < std::max(5, rounds); ++i)
        starts.push_back(startFirmware(firmware));
    const auto bySeconds = [](const Startup& s) { return s.seconds; };
    const Startup start = medianBy(starts, bySeconds);
    const bool startsOk =
        std::all_of(starts.begin(), starts.end(), [](const Startup& s) { return s.ok; });
    ok = ok && startsOk;
    std::printf(
        "\nstart-up of Firmware to its window shown (offscreen), %zu starts: median %.3f s, "
        "fastest "
        "%.3f s  goal <= 0.3 s%s\n",
        starts.size(), start.seconds,
        std::min_element(starts.begin(), starts.end(),
                         [&](const Startup& a, const Startup& b) { return a.seconds < b.seconds; })
            ->seconds,
        startsOk ? "" : "  FAILED: no window");

    // Peak memory, with a large package as well.
    const Package large =
        writePackage(folder, "FIRMWARE_64M.DPX", static_cast<int>(64 * kMiB / 141));
    const Measure largeWindow = download(Side::Window, fd, device, folder, large, {});
    allOk({largeWindow}, ok);
    std::printf("\npeak memory (VmHWM):\n  Firmware just started            %6.1f MiB\n",
                static_cast<double>(start.peakKiB) / 1024.0);
    double worstOver = 0;
    const auto smallPeak = medianBy(windows, [](const Measure& m) { return m.peakKiB; }).peakKiB;
    for (const auto& [p, peakKiB] :
         {std::pair{&small, smallPeak}, std::pair{&large, largeWindow.peakKiB}}) {
        const double peak = static_cast<double>(peakKiB) / 1024.0;
        const double over = peak - static_cast<double>(p->size) / kMiB;
        worstOver = std::max(worstOver, over);
        std::printf("  window with a %4.1f MiB package   %6.1f MiB = package + %.1f MiB  goal: + "
                    "40 MiB at most\n",
                    static_cast<double>(p->size) / kMiB, peak, over);
    }
    std::printf("  (the %.1f MiB download through the window ran at %.0f records/s)\n",
                static_cast<double>(large.size) / kMiB, largeWindow.rate());

    std::printf("\ngoals:\n");
    const std::pair<const char*, bool> goals[] = {
        {"window >= 0.90 x session", windowToSession >= 0.90},
        {"session >= 0.95 x C loop", sessionToLoop >= 0.95},
        {"window processor time <= 5% with a slow printer", windowShare <= 0.05},
        {"peak memory <= package + 40 MiB", worstOver <= 40.0},
        {"start-up <= 0.3 s", start.seconds <= 0.3},
    };
    bool met = true;
    for (const auto& [what, yes] : goals) {
        std::printf("  %-50s %s\n", what, yes ? "met" : "NOT met");
        met = met && yes;
    }

    fs::remove_all(folder, ec);
    if (!ok)
        std::printf("\nsome runs did not complete: see FAILED above\n");
    return ok ? (met ? 0 : 3) : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--window") == 0)
        return windowProcess(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--session") == 0)
        return sessionProcess(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--c-loop") == 0)
        return cLoopProcess(argv);
    return benchmark(argc, argv);
}
