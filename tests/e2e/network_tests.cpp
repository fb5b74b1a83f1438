// Downloads through the real window over the network print path to a private
// Samba server on 127.0.0.1, directly or through a slow or stuck link: the
// job the printer share receives holds the model query and the records in
// order; a download that does not succeed gives the printer nothing; an
// address nobody answers on is reported and never ends in "Download
// Success.".
#include "e2e_support.h"
#include "printer_sim.h"
#include "samba_server.h"
#include "throttling_proxy.h"
#include "ui_Form1.h"

#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

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

// The job one successful download of `pkg` gives the printer.
std::vector<std::uint8_t> jobOf(const samples::Package& pkg)
{
    // The answer on this path is always "K20_T": from the record after the header.
    std::vector<std::uint8_t> job(sim::modelQuery().begin(), sim::modelQuery().end());
    const auto records =
        joined(samples::recordsFrom(pkg.bytes, samples::offsetAfterHeader(pkg.bytes)));
    job.insert(job.end(), records.begin(), records.end());
    return job;
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
    const Result<> started = server.start();
    ASSERT_TRUE(started.ok()) << started.error();
    folder.writeSettings(ethernetAt(server.address()));

    ProgramWindow window(folder.str(), &clock);
    window->startUp();
    window->show();
    ASSERT_TRUE(window->controls().OptEthernet->isChecked());
    ASSERT_EQ(window->controls().TextEthernet->text().toStdString(), server.address());

    // Two sessions are two jobs, appended in the order they were sent.
    std::vector<std::uint8_t> expected;
    for (Shape shape : {Shape::Header90, Shape::Plain}) {
        const samples::Package pkg = samples::make(shape, shape == Shape::Plain, 20, 60);
        ASSERT_EQ(downloadThroughWindow(window, folder.addPackage(pkg)),
                  QStringList{"Download Success."});
        const auto job = jobOf(pkg);
        expected.insert(expected.end(), job.begin(), job.end());
        EXPECT_EQ(server.waitForCapture(expected.size(), 10s), expected) << server.log();
        EXPECT_TRUE(window->controls().cmdSTART->isEnabled());
        EXPECT_TRUE(window->controls().OptEthernet->isEnabled());
    }
}

// Every way a download ends short of "Download Success.": the printer must
// receive nothing of it, and the window must not hang on a silent server.
// The user closes the window in the middle of the records (at the first
// progress shown), or while the link to the server holds the job back.
enum class Ending {
    ShareWithoutRoom,
    WindowClosed,
    WindowClosedWhileTheServerIsPaused,
    WindowClosedWhileTheLinkHoldsTheJob
};

struct Abandoned {
    const char* name;
    Ending ending;
};

void PrintTo(const Abandoned& a, std::ostream* os)
{
    *os << a.name;
}

class AbandonedDownload : public NetworkDownload,
                          public ::testing::WithParamInterface<Abandoned> {};

TEST_P(AbandonedDownload, PrinterReceivesNothing)
{
    if (!test::SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    const Ending ending = GetParam().ending;
    test::SambaServer server;
    const Result<> started = server.start("lp1", ending == Ending::ShareWithoutRoom ? 16 : -1);
    ASSERT_TRUE(started.ok()) << started.error();
    test::ThrottlingProxy link(server.port());
    ASSERT_NE(link.port(), 0);
    constexpr std::size_t kHeld = 64 * 1024;
    if (ending == Ending::WindowClosedWhileTheLinkHoldsTheJob)
        link.holdUploadAfter(kHeld);
    folder.writeSettings(ethernetAt(link.address()));

    {
        ProgramWindow window(folder.str(), &clock);
        window->startUp();
        window->show();
        const samples::Package pkg = samples::make(Shape::Header90, false, 3000, 100);

        std::chrono::steady_clock::time_point closedAt{};
        const auto closeNow = [&] {
            if (closedAt != std::chrono::steady_clock::time_point{})
                return;
            if (ending == Ending::WindowClosedWhileTheServerIsPaused)
                server.pause();
            closedAt = std::chrono::steady_clock::now();
            window->close();
        };
        QTimer watch;
        if (ending == Ending::WindowClosed || ending == Ending::WindowClosedWhileTheServerIsPaused)
            QObject::connect(window->controls().ProgressBar, &QProgressBar::valueChanged, &*window,
                             [&](int value) {
                                 if (value > 0)
                                     closeNow();
                             });
        if (ending == Ending::WindowClosedWhileTheLinkHoldsTheJob) {
            QObject::connect(&watch, &QTimer::timeout, &*window, [&] {
                if (link.uploaded() >= kHeld)
                    closeNow();
            });
            watch.start(5);
        }

        const QStringList boxes = downloadThroughWindow(window, folder.addPackage(pkg));
        const auto ended = std::chrono::steady_clock::now();
        if (ending == Ending::WindowClosedWhileTheServerIsPaused) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            server.resume();
        }
        link.release();
        const std::string seen = boxes.join(" | ").toStdString();
        if (ending == Ending::ShareWithoutRoom) {
            ASSERT_EQ(boxes.size(), 2) << seen;
            EXPECT_TRUE(boxes.front().contains("room for 16384 bytes")) << seen;
            EXPECT_EQ(boxes.back(), "Communication Error.");
        } else {
            EXPECT_TRUE(boxes.isEmpty()) << seen;
            ASSERT_NE(closedAt, std::chrono::steady_clock::time_point{})
                << "the download ended before the close";
            EXPECT_LT(ended - closedAt, std::chrono::milliseconds(500));
            EXPECT_FALSE(window->isVisible());
        }
    }

    // The next download reaches the printer alone, and once the share holds
    // no job any more nothing of the first has followed it.
    const samples::Package small = samples::make(Shape::Header90, false, 20, 60);
    ASSERT_EQ(downloadInNextRun(folder, small, &clock), QStringList{"Download Success."});
    const std::vector<std::uint8_t> job = jobOf(small);
    EXPECT_EQ(server.waitForCapture(job.size(), 10s), job);
    for (auto until = std::chrono::steady_clock::now() + 10s;
         server.spooledJobs() > 0 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(server.spooledJobs(), 0u);
    EXPECT_EQ(server.capture(), job) << server.log();
}

INSTANTIATE_TEST_SUITE_P(Ends, AbandonedDownload,
                         ::testing::Values(Abandoned{"ShareWithoutRoom", Ending::ShareWithoutRoom},
                                           Abandoned{"WindowClosed", Ending::WindowClosed},
                                           Abandoned{"WindowClosedWhileTheServerIsPaused",
                                                     Ending::WindowClosedWhileTheServerIsPaused},
                                           Abandoned{"WindowClosedWhileTheLinkHoldsTheJob",
                                                     Ending::WindowClosedWhileTheLinkHoldsTheJob}),
                         [](const ::testing::TestParamInfo<Abandoned>& i) {
                             return std::string(i.param.name);
                         });

// Downloads whose every record was taken and whose job the server gets
// whole: "Download Success.", on a link slower than 64 KiB a second, and
// after a close that came once the server held the job, where the window
// waits for the server to confirm it (it must not cut the job off) and then
// tells the outcome.
struct Whole {
    const char* name;
    std::size_t rate;   // bytes per second to the server; 0: unlimited
    bool closeOnceHeld; // the user closes the window once the server holds the job
};

void PrintTo(const Whole& w, std::ostream* os)
{
    *os << w.name;
}

class DeliveredWhole : public NetworkDownload, public ::testing::WithParamInterface<Whole> {};

TEST_P(DeliveredWhole, IsADownloadSuccess)
{
    if (!test::SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    const Whole& w = GetParam();
    test::SambaServer server;
    const Result<> started = server.start();
    ASSERT_TRUE(started.ok()) << started.error();
    test::ThrottlingProxy link(server.port());
    ASSERT_NE(link.port(), 0);
    folder.writeSettings(ethernetAt(link.address()));
    const samples::Package pkg = samples::make(Shape::Header90, false, w.rate ? 1100 : 3000, 100);
    const std::vector<std::uint8_t> job = jobOf(pkg);
    link.setRate(w.rate);
    if (w.closeOnceHeld)
        link.holdRepliesAfter(job.size());

    ProgramWindow window(folder.str(), &clock);
    window->startUp();
    window->show();
    QTimer watch;
    bool closed = false;
    bool openWhileHeld = false;
    QObject::connect(&watch, &QTimer::timeout, &*window, [&] {
        if (!closed && link.uploaded() >= job.size()) {
            closed = true;
            window->close();
            QTimer::singleShot(300, &*window, [&] {
                openWhileHeld = window->isVisible();
                link.release();
            });
        }
    });
    if (w.closeOnceHeld)
        watch.start(5);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(downloadThroughWindow(window, folder.addPackage(pkg)),
              QStringList{"Download Success."});
    if (w.rate) {
        EXPECT_GT(std::chrono::steady_clock::now() - start,
                  1s * static_cast<double>(job.size()) / (64 * 1024));
    }
    if (w.closeOnceHeld) {
        EXPECT_TRUE(closed);
        EXPECT_TRUE(openWhileHeld) << "the window did not wait for the server";
        EXPECT_FALSE(window->isVisible());
    }
    EXPECT_EQ(server.waitForCapture(job.size(), 10s), job) << server.log();
}

INSTANTIATE_TEST_SUITE_P(Links, DeliveredWhole,
                         ::testing::Values(Whole{"SlowLink", 50000, false},
                                           Whole{"WindowClosedOnceTheServerHoldsTheJob", 0, true}),
                         [](const ::testing::TestParamInfo<Whole>& i) {
                             return std::string(i.param.name);
                         });

struct Unreachable {
    const char* name;
    std::uint32_t headerValue; // 0x800000 and more: no model query
};

class NetworkUnreachable : public NetworkDownload,
                           public ::testing::WithParamInterface<Unreachable> {};

void PrintTo(const Unreachable& u, std::ostream* os)
{
    *os << u.name;
}

TEST_P(NetworkUnreachable, FailuresAreReportedAndNothingSucceeds)
{
    const int port = test::freeLoopbackPort();
    const std::string address = "127.0.0.1:" + std::to_string(port);
    folder.writeSettings(ethernetAt(address));
    const samples::Package pkg =
        samples::make(Shape::Header90, false, 6, 40, GetParam().headerValue);

    ProgramWindow window(folder.str(), &clock);
    window->startUp();
    window->show();
    ASSERT_TRUE(window->controls().OptEthernet->isChecked());

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
    for (QWidget* w : std::initializer_list<QWidget*>{
             window->controls().cmdSTART, window->controls().cmdClose, window->controls().cmdCancel,
             window->controls().OptEthernet})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(ClosedPort, NetworkUnreachable,
                         ::testing::Values(Unreachable{"WithQuery", 0x010000},
                                           Unreachable{"WithoutQuery", 0x800000}),
                         [](const ::testing::TestParamInfo<Unreachable>& i) {
                             return std::string(i.param.name);
                         });

} // namespace
} // namespace fw::e2e
