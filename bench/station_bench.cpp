// station_bench: one `firmware-cli station` flashing 8 and 32 printers
// against the same printers flashed by 8 and 32 `firmware-cli download`
// processes started together, and against one download alone. Every printer
// is the simulator on a pseudo-terminal (threads of this program), linked as
// ports/COMn of a program folder, acknowledging each record after 2 ms.
//
//   station_bench [records] [rounds]      (default 1000 records, 3 rounds)
//
// Rates are records the printers received over the wall time from starting
// the programs to the last one's end (start-up included on both sides). The
// rounds alternate the five runs; a shared machine only ever slows a run
// down, so the ratios are taken from each side's fastest run, with the
// medians beside. Processor time: a download's own (it has no children);
// the station's own, read from /proc while it is a zombie, and with its
// workers' (what wait4 gives).

#include "printer_sim.h"
#include "pseudo_terminal.h"
#include "sample_packages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <signal.h>
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

constexpr int kMostPrinters = 32;

struct Printer {
    std::unique_ptr<fw::sim::PseudoTerminal> pty;
    std::unique_ptr<fw::sim::PrinterSimulator> sim;
    std::thread thread;
};

double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

pid_t spawn(const std::string& program, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// A process's own processor time, read while it is a zombie: utime and
// stime of /proc/PID/stat, without its children's.
double ownCpu(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string f;
    double utime = 0, stime = 0;
    for (int k = 3; k <= 15 && fields >> f; ++k) {
        if (k == 14)
            utime = std::atof(f.c_str());
        if (k == 15)
            stime = std::atof(f.c_str());
    }
    return (utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct Run {
    bool ok = true;
    double seconds = 0;
    std::size_t records = 0; // received by the printers
    double ownCpu = 0;       // the station's own, or the downloads' summed
    double totalCpu = 0;     // with the station's workers
    double rate() const { return seconds > 0 ? static_cast<double>(records) / seconds : 0; }
};

class Bench {
public:
    Bench(const fs::path& folder, const std::string& package, std::size_t packageRecords)
        : folder_(folder), package_(package), packageRecords_(packageRecords)
    {}
    std::vector<Printer>& printers() { return printers_; }

    std::size_t received(int count)
    {
        std::size_t n = 0;
        for (int k = 0; k < count; ++k)
            n += printers_[static_cast<std::size_t>(k)].sim->records().size();
        return n;
    }

    Run downloads(int count)
    {
        const std::size_t before = received(count);
        Run run;
        const auto start = SteadyTime::now();
        std::vector<pid_t> pids;
        for (int k = 1; k <= count; ++k)
            pids.push_back(spawn(
                cli(), {"download", package_, "--serial", "COM" + std::to_string(k), "--quiet"}));
        for (const pid_t pid : pids) {
            int status = 0;
            rusage usage{};
            if (pid < 0 || ::wait4(pid, &status, 0, &usage) < 0 || !WIFEXITED(status) ||
                WEXITSTATUS(status) != 0)
                run.ok = false;
            run.ownCpu += seconds(usage.ru_utime) + seconds(usage.ru_stime);
        }
        run.seconds = std::chrono::duration<double>(SteadyTime::now() - start).count();
        run.totalCpu = run.ownCpu;
        run.records = received(count) - before;
        run.ok = run.ok && run.records == packageRecords_ * static_cast<std::size_t>(count);
        return run;
    }

    Run station(int count)
    {
        const std::size_t before = received(count);
        std::string ports;
        for (int k = 1; k <= count; ++k)
            ports += (k > 1 ? "," : "") + ("COM" + std::to_string(k));
        Run run;
        const auto start = SteadyTime::now();
        const pid_t pid = spawn(cli(), {"station", package_, "--serial", ports, "--quiet"});
        siginfo_t info{};
        if (pid < 0 || ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) != 0)
            return {false};
        run.seconds = std::chrono::duration<double>(SteadyTime::now() - start).count();
        run.ownCpu = ownCpu(pid);
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        run.totalCpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        run.records = received(count) - before;
        run.ok = run.ok && run.records == packageRecords_ * static_cast<std::size_t>(count);
        return run;
    }

private:
    std::string cli() const { return (folder_ / "firmware-cli").string(); }

    fs::path folder_;
    std::string package_;
    std::size_t packageRecords_;
    std::vector<Printer> printers_;
};

template <class Key>
Run medianBy(std::vector<Run> runs, Key key)
{
    std::sort(runs.begin(), runs.end(),
              [&](const Run& a, const Run& b) { return key(a) < key(b); });
    return runs[runs.size() / 2];
}

double fastest(const std::vector<Run>& runs)
{
    double best = 0;
    for (const Run& r : runs)
        best = std::max(best, r.rate());
    return best;
}

double median(const std::vector<Run>& runs)
{
    return medianBy(runs, [](const Run& r) { return r.rate(); }).rate();
}

void show(const char* name, const std::vector<Run>& runs, int printers)
{
    const Run mid = medianBy(runs, [](const Run& r) { return r.rate(); });
    std::printf("  %-14s fastest %7.0f records/s  median %7.0f records/s  processor time per "
                "printer %.3f s own, %.3f s in all%s\n",
                name, fastest(runs), mid.rate(), mid.ownCpu / printers, mid.totalCpu / printers,
                std::all_of(runs.begin(), runs.end(), [](const Run& r) { return r.ok; })
                    ? ""
                    : "  FAILED: not every printer got the whole package");
}

} // namespace

int main(int argc, char** argv)
{
    const int records = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    char templ[] = "/tmp/fw-station-bench.XXXXXX";
    if (!::mkdtemp(templ))
        return 1;
    const fs::path folder = templ;
    fs::copy_file(FW_FIRMWARE_CLI, folder / "firmware-cli");
    const fw::samples::Package package =
        fw::samples::make(fw::samples::Shape::Plain, false, records, 72);
    const std::string packagePath = (folder / "BENCH.DPX").string();
    std::ofstream(packagePath, std::ios::binary)
        .write(reinterpret_cast<const char*>(package.bytes.data()),
               static_cast<std::streamsize>(package.bytes.size()));
    const std::size_t sent = fw::samples::recordsFrom(package.bytes, 0).size();

    Bench bench(folder, packagePath, sent);
    for (int k = 1; k <= kMostPrinters; ++k) {
        Printer p;
        p.pty = std::make_unique<fw::sim::PseudoTerminal>(false);
        std::string why;
        if (!p.pty->ok() || !p.pty->linkAsCom(folder.string(), k, why)) {
            std::fprintf(stderr, "station_bench: no pseudo-terminal: %s %s\n",
                         p.pty->error().c_str(), why.c_str());
            return 1;
        }
        fw::sim::PrinterScript script;
        script.ackDelay = std::chrono::milliseconds(2);
        script.packageRecords = fw::sim::splitPackage(package.bytes);
        p.sim = std::make_unique<fw::sim::PrinterSimulator>(p.pty->master(), script);
        fw::sim::PrinterSimulator* sim = p.sim.get();
        p.thread = std::thread([sim] { sim->run(); });
        bench.printers().push_back(std::move(p));
    }

    std::printf("station_bench: %zu records per printer, printers acknowledging after 2 ms, %d "
                "rounds, %u processors\n",
                sent, rounds, std::thread::hardware_concurrency());
    std::vector<Run> single, downloads8, station8, downloads32, station32;
    for (int r = 0; r < rounds; ++r) {
        single.push_back(bench.downloads(1));
        downloads8.push_back(bench.downloads(8));
        station8.push_back(bench.station(8));
        downloads32.push_back(bench.downloads(32));
        station32.push_back(bench.station(32));
    }
    show("1 download", single, 1);
    show("8 downloads", downloads8, 8);
    show("station of 8", station8, 8);
    show("32 downloads", downloads32, 32);
    show("station of 32", station32, 32);

    const double s8 = fastest(station8) / std::max(1.0, fastest(downloads8));
    const double s32 = fastest(station32) / std::max(1.0, fastest(downloads32));
    const double eight = fastest(station8) / std::max(1.0, fastest(single));
    const auto cpuMedian = [](const std::vector<Run>& runs, int printers, bool own) {
        const Run m = medianBy(runs, [own](const Run& r) { return own ? r.ownCpu : r.totalCpu; });
        return (own ? m.ownCpu : m.totalCpu) / printers;
    };
    const double download = cpuMedian(single, 1, true);
    const double own8 = cpuMedian(station8, 8, true), own32 = cpuMedian(station32, 32, true);
    std::printf("  station of 8 / 8 downloads    %.3f (medians %.3f)  goal >= 0.95\n", s8,
                median(station8) / std::max(1.0, median(downloads8)));
    std::printf("  station of 32 / 32 downloads  %.3f (medians %.3f)  goal >= 0.95\n", s32,
                median(station32) / std::max(1.0, median(downloads32)));
    std::printf("  station of 8 / 1 download     %.2f (medians %.2f)  goal >= 7.5\n", eight,
                median(station8) / std::max(1.0, median(single)));
    std::printf("  station's own processor time per printer: %.4f s of 8, %.4f s of 32; one "
                "download: %.4f s  goal: no more\n",
                own8, own32, download);
    std::printf("  with its workers, per printer: %.4f s of 8, %.4f s of 32\n",
                cpuMedian(station8, 8, false), cpuMedian(station32, 32, false));

    bool ok = true;
    for (const auto* runs : {&single, &downloads8, &station8, &downloads32, &station32})
        for (const Run& r : *runs)
            ok = ok && r.ok;
    const bool met =
        s8 >= 0.95 && s32 >= 0.95 && eight >= 7.5 && own8 <= download && own32 <= download;
    std::printf("goals %s\n", met ? "met" : "NOT met");

    for (Printer& p : bench.printers()) {
        p.sim->stop();
        p.thread.join();
    }
    std::error_code ec;
    fs::remove_all(folder, ec);
    return ok ? (met ? 0 : 3) : 1;
}
