// Start-up probe for window_bench. Qt loads a library named qttestability into
// any program started with QT_LOAD_TESTABILITY=1 (its hook for test tools) and
// calls qt_testability_init() while the application object is being built.
// This one writes "shown" to the file descriptor named in FW_SHOWN_FD once
// the main window has painted its first frame, so the benchmark can time the
// real program from its start to its window on screen.

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <unistd.h>

namespace {

class ShownProbe final : public QObject {
public:
    ShownProbe(int fd, QObject* parent) : QObject(parent), fd_(fd) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (fd_ < 0 || event->type() != QEvent::Paint || !watched->isWidgetType())
            return false;
        if (!qobject_cast<QMainWindow*>(static_cast<QWidget*>(watched)->window()))
            return false;
        // The frame is complete once this round of painting has been flushed.
        const int fd = fd_;
        fd_ = -1;
        QTimer::singleShot(0, this, [fd] {
            static const char line[] = "shown\n";
            [[maybe_unused]] const auto n = ::write(fd, line, sizeof line - 1);
            ::close(fd);
        });
        return false;
    }

private:
    int fd_;
};

} // namespace

extern "C" Q_DECL_EXPORT void qt_testability_init()
{
    const char* fd = std::getenv("FW_SHOWN_FD");
    QCoreApplication* app = QCoreApplication::instance();
    if (!fd || !app)
        return;
    app->installEventFilter(new ShownProbe(std::atoi(fd), app));
}
