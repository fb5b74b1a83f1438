// Throughput of the download engine itself: one session over a generated
// 4 MiB package (about 30,000 records) on the serial path, against a printer
// that answers "TV-K3" and acknowledges every record at once. The package is
// read from a file, as in the program.
//
//   fw_engine_bench [runs]

#include "engine/clock.h"
#include "engine/printer_replies.h"
#include "engine/session.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace fw;

// Whoever runs the session, without a screen: the serial port chosen, the
// outcome kept, nothing else.
class HeadlessView final : public SessionView {
public:
    std::optional<ChannelKind> chosenInterface() override { return ChannelKind::Serial; }
    ChannelSettings channelSettings() override
    {
        ChannelSettings s;
        s.portNumber = 1;
        s.line = {115200, 'N', 8, 1};
        return s;
    }
    void lockControls(bool) override {}
    void showBusy(bool) override {}
    void setProgressMaximum(float) override {}
    void showProgress(std::int64_t) override {}
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void processEvents() override {}
    bool endRequested() override { return false; }

    std::vector<std::string> messages;
};

// A printer on the other end of a serial line that answers at once.
class InstantPrinter final : public DownloadChannel, public PolledInput {
public:
    Result<> open(const ChannelSettings&) override
    {
        open_ = true;
        return Result<>::success();
    }
    Result<> write(std::span<const std::uint8_t> bytes) override
    {
        const bool query = bytes.size() == 10 && bytes[0] == 0x01 && bytes[1] == '9' &&
                           bytes[2] == '7' && bytes[3] == 0x02;
        if (query) {
            const std::string answer = "TV-K3";
            pending_.assign(answer.begin(), answer.end());
        } else {
            ++records;
            wireBytes += static_cast<long long>(bytes.size());
            pending_.assign(1, 0x06);
        }
        return Result<>::success();
    }
    Result<> waitingCount(int& count, std::chrono::milliseconds) override
    {
        count = static_cast<int>(pending_.size());
        return Result<>::success();
    }
    Result<> read(std::vector<std::uint8_t>& bytes) override
    {
        bytes.swap(pending_);
        pending_.clear();
        return Result<>::success();
    }
    std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) override
    {
        return awaitPolledAnswer(*this, clock, failures);
    }
    AckWait awaitAck(Clock& clock, FailureReport& failures,
                     std::vector<std::uint8_t>& heard) override
    {
        return awaitPolledAck(*this, clock, failures, heard);
    }
    RecordRule recordRule(std::uint8_t) const override { return {}; }
    void close() override { open_ = false; }
    void closeAfterSession(bool) override { close(); }
    bool isOpen() const override { return open_; }

    long records = 0;
    long long wireBytes = 0;

private:
    bool open_ = false;
    std::vector<std::uint8_t> pending_;
};

class Printers final : public ChannelSet {
public:
    DownloadChannel& channel(ChannelKind kind) override
    {
        return kind == ChannelKind::Serial ? serial : kind == ChannelKind::Usb ? usb : network;
    }
    InstantPrinter serial, usb, network;
};

// Model record, section header, then records of 140 bytes up to 4 MiB, the
// last one carrying the end mark.
std::string generatePackage()
{
    constexpr std::size_t kTarget = 4u << 20;
    std::string p = "\x01"
                    "97K20T\r\n"
                    "\x01"
                    "90000001000000\r\n";
    const char* hex = "0123456789ABCDEF";
    std::string record;
    for (unsigned n = 0; p.size() + 140 <= kTarget; ++n) {
        record = "\x01"
                 "00";
        for (int i = 0; i < 135; ++i)
            record += hex[(n * 7 + static_cast<unsigned>(i)) % 16];
        p += record + "\r\n";
    }
    p += "\x01"
         "00END\x17\r\n";
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const auto file = std::filesystem::temp_directory_path() / "fw_engine_bench.DPX";
    const std::string package = generatePackage();
    std::ofstream(file, std::ios::binary) << package;

    double bestWall = 1e30, bestCpu = 1e30;
    long records = 0;
    long long wireBytes = 0;
    for (int r = 0; r < runs; ++r) {
        HeadlessView view;
        Printers printers;
        SteadyClock clock;
        DownloadSession session(printers, clock);

        const std::clock_t cpu0 = std::clock();
        const auto wall0 = std::chrono::steady_clock::now();
        const SessionOutcome outcome = session.run(file.string(), view);
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;

        if (outcome.kind != SessionOutcome::Kind::Success ||
            view.messages != std::vector<std::string>{kMsgDownloadSuccess}) {
            std::fprintf(stderr, "session did not succeed: %s\n",
                         view.messages.empty() ? "(no message)" : view.messages.back().c_str());
            std::filesystem::remove(file);
            return 1;
        }
        bestWall = std::min(bestWall, wall);
        bestCpu = std::min(bestCpu, cpu);
        records = printers.serial.records;
        wireBytes = printers.serial.wireBytes;
    }
    std::filesystem::remove(file);

    std::printf("package: %zu bytes, %ld records sent, best of %d sessions\n", package.size(),
                records, runs);
    std::printf("records per second: %.0f\n", static_cast<double>(records) / bestWall);
    std::printf("bytes per second: %.0f\n", static_cast<double>(wireBytes) / bestWall);
    std::printf("processor time per session: %.3f s\n", bestCpu);
    return 0;
}
