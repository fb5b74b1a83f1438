#pragma once
// firmware-cli run as a script runs it, for the command-line tests: a
// program folder of its own with a copy of the program and TAVLIB, the
// printer simulator on a pseudo-terminal linked as its COMn, and runs of the
// program whose exit code and output the test reads.

#include "printer_sim.h"
#include "pseudo_terminal.h"
#include "sample_packages.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace fw::test {

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
    std::string lastLine() const
    {
        std::string s = out;
        while (!s.empty() && s.back() == '\n')
            s.pop_back();
        const auto nl = s.rfind('\n');
        return nl == std::string::npos ? s : s.substr(nl + 1);
    }
    // The value of a top-level field of the JSON object on the last line, as written.
    std::string field(const std::string& name) const
    {
        const std::string line = lastLine();
        const std::string key = "\"" + name + "\":";
        const auto at = line.find(key);
        if (at == std::string::npos)
            return "<missing>";
        std::size_t end = at + key.size();
        if (line[end] == '"') {
            end = line.find('"', end + 1);
            return line.substr(at + key.size() + 1, end - at - key.size() - 1);
        }
        end = line.find_first_of(",}", end);
        return line.substr(at + key.size(), end - at - key.size());
    }
};

// How a run's standard output and environment are set up.
struct RunSetup {
    std::function<void(pid_t)> during; // runs once the program is started
    bool errGone = false;              // whoever reads standard error goes away at once
    bool outGone = false;              // the same for standard output
    std::string outFile;               // standard output to this file instead of a pipe
    std::vector<std::string> env;      // NAME=value added to the environment
    int errColumns = 0;                // standard error on a terminal this many columns wide
};

// firmware-cli running while the test acts on what it writes.
class RunningCli {
public:
    RunningCli(const std::string& exe, const std::vector<std::string>& args);
    ~RunningCli(); // ends it when it still runs
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    pid_t pid() const { return pid_; }
    // The next line of standard output, without its line end; nullopt when
    // none came within `wait` or the output ended.
    std::optional<std::string> nextLine(std::chrono::milliseconds wait);
    // Waits for the program to end (at most a minute, then it is killed):
    // its exit code and all it wrote.
    CliRun finish();

private:
    pid_t pid_ = -1;
    int out_ = -1, err_ = -1;
    std::mutex mutex_;
    std::condition_variable grown_;
    std::string out_text_, err_text_;
    std::size_t taken_ = 0; // of out_text_, by nextLine()
    bool ended_ = false;
    std::thread reader_;
};

// A program folder holding a copy of firmware-cli (it finds ports/COMn and
// TAVLIB beside itself) and the packages of the test.
class CliFolder {
public:
    CliFolder();
    ~CliFolder();
    CliFolder(const CliFolder&) = delete;
    CliFolder& operator=(const CliFolder&) = delete;
    std::string str() const { return dir_.string(); }
    std::string exe() const { return (dir_ / "firmware-cli").string(); }
    std::string add(const samples::Package& p);
    std::string write(const std::string& name, const std::string& text);

    // Runs firmware-cli with `args`; `during` runs once the program is started.
    // `errGone`: whoever reads standard error goes away at once.
    CliRun run(const std::vector<std::string>& args, const std::function<void(pid_t)>& during = {},
               bool errGone = false) const;
    CliRun run(const std::vector<std::string>& args, const RunSetup& setup) const;
    // Starts firmware-cli with `args` and leaves it running.
    std::unique_ptr<RunningCli> start(const std::vector<std::string>& args) const
    {
        return std::make_unique<RunningCli>(exe(), args);
    }

private:
    std::filesystem::path dir_;
};

// The simulator on a pseudo-terminal reached as COMn of the folder.
class SimulatedPrinter {
public:
    // `setUp`: the line is already raw, as an earlier session left it, so
    // that bytes written before the port is opened stay as they are.
    SimulatedPrinter(const CliFolder& folder, sim::PrinterScript script, int com = 1,
                     bool setUp = false);
    ~SimulatedPrinter();
    sim::PrinterSimulator& operator*() { return *sim_; }
    sim::PrinterSimulator* operator->() { return sim_.get(); }
    const std::string& device() const { return pty_.slavePath(); }

private:
    sim::PseudoTerminal pty_;
    std::unique_ptr<sim::PrinterSimulator> sim_;
    std::thread thread_;
};

// A package of the shipped samples by its name.
samples::Package sample(const std::string& name);

// Waits until the program catches `signal`, so that a signal sent then is
// the program's to handle however slowly it started.
void waitUntilCaught(pid_t pid, int signal);

// In a child about to run the program: only standard input, output and
// error stay open (a test bed's printer ends are not closed on exec, and a
// program holding one keeps the printer from hanging up).
void keepOnlyStandardStreams();

} // namespace fw::test
