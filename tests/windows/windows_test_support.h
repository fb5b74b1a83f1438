#pragma once
// What the Windows tests need around them under Wine: the printer service of
// printer_service.sh (the simulator on COM1, the file behind
// \\127.0.0.1\lp1), folders of their own, and programs run as children.

#include <cstdint>
#include <string>
#include <vector>

namespace fw::test {

using Bytes = std::vector<std::uint8_t>;

// UTF-8 and UTF-16, for the tests' own calls into the system.
std::wstring wide(const std::string& utf8);
std::string utf8(const std::wstring& text);

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
void writeFile(const std::string& path, const Bytes& bytes);

// A folder of the test's own under the service folder (or the system's
// temporary folder without a service), removed at the end. Paths are UTF-8
// Windows paths.
class TestFolder {
public:
    explicit TestFolder(const std::string& name = "t");
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// The printer service of printer_service.sh. Every call fails the test
// (with a reason) when there is no service.
class PrinterService {
public:
    // False, with the reason in `why`, when the test runs without the
    // service script around it.
    static bool available(std::string& why);
    // The service folder as a Windows path.
    static std::string folder();

    // Starts the simulator on COM`com` with printer-sim's `options`; a
    // printer started there before is stopped first.
    static void start(const std::vector<std::string>& options, int com = 1);
    // Stops the simulator on COM`com` and gives every byte it received.
    static Bytes stop(int com = 1);
    // stty's view of the simulator's port, while it runs.
    static std::string line();

    // The file that \\127.0.0.1\lp1 reaches.
    static std::string printShareFile();
};

struct ProgramRun {
    int code = -1;
    std::string out;
    std::string err;
    // The last line of standard output, without its line end.
    std::string lastLine() const;
};

// Runs `exe` with `args` (each quoted for the command line) and waits for it.
ProgramRun runProgram(const std::string& exe, const std::vector<std::string>& args);

// A Unix path of the build as Wine reaches it (drive Z:).
std::string fromUnixPath(const std::string& path);

} // namespace fw::test
