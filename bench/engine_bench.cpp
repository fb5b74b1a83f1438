// Throughput of the download engine itself: one session over a generated
// 4 MiB package (about 30,000 records) on the serial path, against a printer
// that answers "TV-K3" and acknowledges every record at once. The package is
// read from a file, as in the program.
//
//   fw_engine_bench [runs]

#include "session/clock.h"
#include "session/download_channel.h"
#include "session/download_session.h"
#include "window/form_state.h"
#include "window/toolkit.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace fw;

// The window without a screen: keeps what the session sets, nothing more.
class HeadlessWindow final : public Toolkit {
public:
    void setEvents(ToolkitEvents*) override {}
    void setEnabled(Ctl c, bool e) override { enabled_[c] = e; }
    bool isEnabled(Ctl c) const override { return !enabled_.contains(c) || enabled_.at(c); }
    void setVisible(Ctl, bool) override {}
    bool isVisible(Ctl) const override { return true; }
    bool isSelected(Ctl option) const override { return option == Ctl::OptSerial; }
    void select(Ctl) override {}
    void clearList(Ctl) override {}
    void addItem(Ctl, const std::string&) override {}
    int itemCount(Ctl) const override { return 1; }
    int listIndex(Ctl) const override { return 0; }
    void setListIndex(Ctl, int) override {}
    std::string listText(Ctl list) const override
    {
        switch (list) {
        case Ctl::cboBaudRate: return "115200 bps";
        case Ctl::cboParity: return "NONE";
        case Ctl::cboBitLength: return "8 bit";
        case Ctl::cboStopBit: return "1 bit";
        default: return "COM1";
        }
    }
    std::string itemText(Ctl c, int) const override { return listText(c); }
    void setItemToolTip(Ctl, int, const std::string&) override {}
    std::string text(Ctl c) const override { return c == Ctl::Label3 ? label3_ : std::string(); }
    void setText(Ctl c, const std::string& t) override
    {
        if (c == Ctl::Label3)
            label3_ = t;
    }
    void setBackColour(Ctl, std::uint32_t) override {}
    std::uint32_t backColour(Ctl) const override { return 0; }
    void setProgressMax(float m) override { max_ = m; }
    float progressMax() const override { return max_; }
    bool setProgressValue(float v) override
    {
        if (v < 0 || v > max_)
            return false;
        value_ = v;
        return true;
    }
    float progressValue() const override { return value_; }
    void setPointer(Pointer p) override { pointer_ = p; }
    Pointer pointer() const override { return pointer_; }
    void processEvents() override { ++events; }
    void closeWindow() override {}
    void messageBox(const std::string& text, bool, const std::string&) override { boxes.push_back(text); }
    OpenDialogResult showOpenDialog(const OpenDialogSetup&) override { return {}; }

    std::vector<std::string> boxes;
    long events = 0;

private:
    std::map<Ctl, bool> enabled_;
    std::string label3_;
    float max_ = 100, value_ = 0;
    Pointer pointer_ = Pointer::Normal;
};

// A printer on the other end of a serial line that answers at once.
class InstantPrinter final : public DownloadChannel {
public:
    explicit InstantPrinter(ChannelKind kind) : kind_(kind) {}
    ChannelKind kind() const override { return kind_; }
    ChannelStatus open(const ChannelConfig&) override
    {
        open_ = true;
        return ChannelStatus::success();
    }
    ChannelStatus write(std::span<const std::uint8_t> bytes) override
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
        return ChannelStatus::success();
    }
    ChannelStatus waitingCount(int& count, std::chrono::milliseconds) override
    {
        count = static_cast<int>(pending_.size());
        return ChannelStatus::success();
    }
    ChannelStatus read(std::vector<std::uint8_t>& bytes) override
    {
        bytes.swap(pending_);
        pending_.clear();
        return ChannelStatus::success();
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }

    long records = 0;
    long long wireBytes = 0;

private:
    ChannelKind kind_;
    bool open_ = false;
    std::vector<std::uint8_t> pending_;
};

class Printers final : public ChannelSet {
public:
    DownloadChannel& channel(ChannelKind kind) override
    {
        return kind == ChannelKind::Serial ? serial : kind == ChannelKind::Usb ? usb : network;
    }
    InstantPrinter serial{ChannelKind::Serial}, usb{ChannelKind::Usb},
        network{ChannelKind::Network};
};

// Model record, section header, then records of 140 bytes up to 4 MiB, the
// last one carrying the end mark.
std::string generatePackage()
{
    constexpr std::size_t kTarget = 4u << 20;
    std::string p = "\x01" "97K20T\r\n" "\x01" "90000001000000\r\n";
    const char* hex = "0123456789ABCDEF";
    std::string record;
    for (unsigned n = 0; p.size() + 140 <= kTarget; ++n) {
        record = "\x01" "00";
        for (int i = 0; i < 135; ++i)
            record += hex[(n * 7 + static_cast<unsigned>(i)) % 16];
        p += record + "\r\n";
    }
    p += "\x01" "00END\x17\r\n";
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
        HeadlessWindow ui;
        FormState state;
        state.strFirmwareFile = file.string();
        Printers printers;
        SteadyClock clock;
        DownloadSession session(ui, state, printers, clock, [] {});

        const std::clock_t cpu0 = std::clock();
        const auto wall0 = std::chrono::steady_clock::now();
        session.run();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
        const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;

        if (ui.boxes != std::vector<std::string>{"Download Success."}) {
            std::fprintf(stderr, "session did not succeed: %s\n",
                         ui.boxes.empty() ? "(no box)" : ui.boxes.back().c_str());
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
