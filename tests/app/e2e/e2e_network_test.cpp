// Downloads through the real window over the network print path to a private
// Samba server on 127.0.0.1: the job the printer share receives holds the
// model query and the records in order; an address nobody answers on is
// reported and never ends in "Download Success.".
#include "e2e_support.h"
#include "printer_sim.h"
#include "samba_server.h"
#include "ui_Form1.h"

#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <chrono>

namespace fw::e2e {
namespace {

using namespace std::chrono_literals;
using samples::Shape;

std::string ethernetAt(const std::string& address)
{
    return "[PRINTFirmware]\r\nInterface=3\r\nTcpIp=" + address + "\r\n";
}

std::vector<std::uint8_t> joined(const std::vector<samples::Bytes>& records)
{
    std::vector<std::uint8_t> all;
    for (const auto& r : records)
        all.insert(all.end(), r.begin(), r.end());
    return all;
}

class NetworkDownload : public ::testing::Test {
protected:
    // The one-second wait after the query costs a tenth of that here.
    FastClock clock{10};
    ProgramFolder folder;
};

TEST_F(NetworkDownload, ShareReceivesTheQueryThenTheRecordsInOrder)
{
    if (!test::SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    test::SambaServer server;
    const std::string why = server.start();
    ASSERT_TRUE(why.empty()) << why;
    folder.writeSettings(ethernetAt(server.address()));

    MainWindow window(folder.str(), nullptr, nullptr, &clock);
    window.startUp();
    window.show();
    ASSERT_TRUE(window.form().OptEthernet->isChecked());
    ASSERT_EQ(window.form().TextEthernet->text().toStdString(), server.address());

    // Two sessions are two jobs, appended in the order they were sent.
    std::vector<std::uint8_t> expected;
    for (Shape shape : {Shape::Header90, Shape::Plain}) {
        const samples::Package pkg = samples::make(shape, shape == Shape::Plain, 20, 60);
        ASSERT_EQ(downloadThroughWindow(window, folder.addPackage(pkg)), QStringList{"Download Success."});
        // The answer on this path is always "K20_T": from the record after the header.
        const auto& query = sim::modelQuery();
        expected.insert(expected.end(), query.begin(), query.end());
        const auto records = joined(samples::recordsFrom(pkg.bytes, samples::offsetAfterHeader(pkg.bytes)));
        expected.insert(expected.end(), records.begin(), records.end());
        EXPECT_EQ(server.waitForCapture(expected.size(), 10s), expected) << server.log();
        EXPECT_TRUE(window.form().cmdSTART->isEnabled());
        EXPECT_TRUE(window.form().OptEthernet->isEnabled());
    }
}

struct Unreachable {
    const char* name;
    std::uint32_t headerValue; // 0x800000 and more: no model query
};

class NetworkUnreachable : public NetworkDownload, public ::testing::WithParamInterface<Unreachable> {};

void PrintTo(const Unreachable& u, std::ostream* os) { *os << u.name; }

TEST_P(NetworkUnreachable, FailuresAreReportedAndNothingSucceeds)
{
    const int port = test::freeLoopbackPort();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    folder.writeSettings(ethernetAt(address));
    const samples::Package pkg = samples::make(Shape::Header90, false, 6, 40, GetParam().headerValue);

    MainWindow window(folder.str(), nullptr, nullptr, &clock);
    window.startUp();
    window.show();
    ASSERT_TRUE(window.form().OptEthernet->isChecked());

    const auto start = std::chrono::steady_clock::now();
    const QStringList boxes = downloadThroughWindow(window, folder.addPackage(pkg));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    ASSERT_FALSE(boxes.isEmpty());
    EXPECT_FALSE(boxes.contains("Download Success.")) << boxes.join(" | ").toStdString();
    // The first report names the print path that could not be opened.
    EXPECT_TRUE(boxes.front().contains(QString::fromStdString("\\\\" + address + "\\lp1")))
        << boxes.front().toStdString();
    if (GetParam().headerValue < 0x800000) {
        // The query cannot be written either: the session ends without an outcome.
        EXPECT_EQ(boxes.size(), 2) << boxes.join(" | ").toStdString();
    } else {
        EXPECT_EQ(boxes.back(), "Communication Error.") << boxes.join(" | ").toStdString();
    }
    for (QWidget* w : std::initializer_list<QWidget*>{window.form().cmdSTART, window.form().cmdClose,
                                                      window.form().cmdCancel, window.form().OptEthernet})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(ClosedPort, NetworkUnreachable,
                         ::testing::Values(Unreachable{"WithQuery", 0x010000},
                                           Unreachable{"WithoutQuery", 0x800000}),
                         [](const ::testing::TestParamInfo<Unreachable>& i) { return std::string(i.param.name); });

} // namespace
} // namespace fw::e2e
