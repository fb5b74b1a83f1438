// printer-sim: plays a receipt printer on a pseudo-terminal (or on a given
// file descriptor) for the Firmware program, its tests and its demo.

#include "printer_sim.h"
#include "pseudo_terminal.h"

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace {

fw::sim::PrinterSimulator* gSim = nullptr;

void onSignal(int)
{
    if (gSim)
        gSim->stop();
}

void usage()
{
    std::fputs(
        "usage: printer-sim [options]\n"
        "  --answer TEXT      model answer (MDL40, TV-K3, K20_T or any text; default K20_T)\n"
        "  --silent           do not answer the model query\n"
        "  --pieces A,B,...   send the answer in pieces of these sizes\n"
        "  --piece-gap MS     pause between pieces (default 20)\n"
        "  --ack-delay MS     pause before each acknowledgement (default 0)\n"
        "  --no-ack N         leave record N unacknowledged\n"
        "  --nak N            answer record N with NAK\n"
        "  --stray N          answer record N with ACK and a stray byte\n"
        "  --hang-up N        hang up after receiving record N\n"
        "  --late-ack N,MS    acknowledge record N MS late, serving nothing meanwhile\n"
        "  --noise-at-open    leave an XON byte in the line before the host opens it\n"
        "  --package FILE     the package being sent, to know where records end\n"
        "  --packages DIR     every .DPX package in DIR may be sent (repeatable)\n"
        "  --quiet-gap MS     a record of no known package ends after this silence (default 30)\n"
        "  --capture FILE     write every byte received to FILE at the end\n"
        "  --link DIR         make DIR/ports/COM<n> point at the pseudo-terminal\n"
        "  --com N            the n for --link (default 1)\n"
        "  --raw              put the pseudo-terminal in raw mode at once\n"
        "  --fd N             serve file descriptor N instead of a pseudo-terminal\n",
        stderr);
}

bool readRecords(const std::string& path, std::vector<std::vector<std::uint8_t>>& records)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    records = fw::sim::splitPackage(bytes);
    return true;
}

// The records of every .DPX file (any case) in `folder`.
bool readFolder(const std::string& folder, fw::sim::PrinterScript& script)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec)
        return false;
    for (const auto& entry : it) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (ext != ".DPX" || !entry.is_regular_file(ec))
            continue;
        if (!readRecords(entry.path().string(), script.knownPackages.emplace_back()))
            return false;
    }
    return true;
}

bool number(const char* text, int& out)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!text[0] || *end || v < 0 || v > 1000000)
        return false;
    out = static_cast<int>(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    fw::sim::PrinterScript script;
    std::string capture, linkDir, packagePath;
    int com = 1;
    int fd = -1;
    bool raw = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        auto intArg = [&](int& out) {
            if (!hasValue || !number(argv[++i], out)) {
                std::fprintf(stderr, "printer-sim: %s needs a number\n", a.c_str());
                std::exit(2);
            }
        };
        auto strArg = [&]() -> std::string {
            if (!hasValue) {
                std::fprintf(stderr, "printer-sim: %s needs a value\n", a.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        int v = 0;
        if (a == "--answer")
            script.answer = strArg();
        else if (a == "--silent")
            script.answer.reset();
        else if (a == "--pieces") {
            const std::string list = strArg();
            std::size_t at = 0;
            while (at <= list.size()) {
                const std::size_t comma = list.find(',', at);
                const std::string part =
                    list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
                if (!number(part.c_str(), v) || v == 0) {
                    std::fputs("printer-sim: --pieces takes sizes like 2,3\n", stderr);
                    return 2;
                }
                script.answerPieces.push_back(static_cast<std::size_t>(v));
                if (comma == std::string::npos)
                    break;
                at = comma + 1;
            }
        } else if (a == "--piece-gap") {
            intArg(v);
            script.pieceGap = std::chrono::milliseconds(v);
        } else if (a == "--ack-delay") {
            intArg(v);
            script.ackDelay = std::chrono::milliseconds(v);
        } else if (a == "--no-ack")
            intArg(script.noAckRecord);
        else if (a == "--nak")
            intArg(script.nakRecord);
        else if (a == "--stray")
            intArg(script.strayRecord);
        else if (a == "--hang-up")
            intArg(script.hangUpRecord);
        else if (a == "--late-ack") {
            const std::string value = strArg();
            const std::size_t comma = value.find(',');
            int ms = 0;
            if (comma == std::string::npos ||
                !number(value.substr(0, comma).c_str(), script.lateAckRecord) ||
                !number(value.substr(comma + 1).c_str(), ms)) {
                std::fputs("printer-sim: --late-ack takes N,MS\n", stderr);
                return 2;
            }
            script.lateAck = std::chrono::milliseconds(ms);
        } else if (a == "--noise-at-open")
            script.leftInLine = {0x11};
        else if (a == "--package")
            packagePath = strArg();
        else if (a == "--packages") {
            const std::string folder = strArg();
            if (!readFolder(folder, script)) {
                std::fprintf(stderr, "printer-sim: cannot read the packages in %s\n",
                             folder.c_str());
                return 1;
            }
        } else if (a == "--quiet-gap") {
            intArg(v);
            script.quietGap = std::chrono::milliseconds(v);
        } else if (a == "--capture")
            capture = strArg();
        else if (a == "--link")
            linkDir = strArg();
        else if (a == "--com")
            intArg(com);
        else if (a == "--raw")
            raw = true;
        else if (a == "--fd")
            intArg(fd);
        else if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else {
            std::fprintf(stderr, "printer-sim: unknown option %s\n", a.c_str());
            usage();
            return 2;
        }
    }

    if (!packagePath.empty() && !readRecords(packagePath, script.packageRecords)) {
        std::fprintf(stderr, "printer-sim: cannot read %s\n", packagePath.c_str());
        return 1;
    }

    std::optional<fw::sim::PseudoTerminal> pty;
    if (fd < 0) {
        pty.emplace(raw);
        if (!pty->ok()) {
            std::fprintf(stderr, "printer-sim: %s\n", pty->error().c_str());
            return 1;
        }
        fd = pty->master();
        if (!linkDir.empty()) {
            std::string why;
            if (!pty->linkAsCom(linkDir, com, why)) {
                std::fprintf(stderr, "printer-sim: cannot make the link: %s\n", why.c_str());
                return 1;
            }
        }
        std::printf("%s\n", pty->slavePath().c_str());
        std::fflush(stdout);
    }

    fw::sim::PrinterSimulator sim(fd, script);
    gSim = &sim;
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sim.run();
    gSim = nullptr;

    if (!capture.empty()) {
        const auto bytes = sim.received();
        std::ofstream out(capture, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out)
            std::fprintf(stderr, "printer-sim: cannot write %s\n", capture.c_str());
    }
    std::fprintf(stderr, "printer-sim: %d model queries, %zu records, %zu bytes received%s\n",
                 sim.queries(), sim.records().size(), sim.received().size(),
                 sim.hungUp() ? ", hung up" : "");
    if (!sim.lastError().empty()) {
        std::fprintf(stderr, "printer-sim: %s\n", sim.lastError().c_str());
        return 1;
    }
    return 0;
}
