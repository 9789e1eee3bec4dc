// Starts like the program does and prints, at the window's first paint, the wall-clock time
// (ns since the epoch) and the peak resident memory; then closes the window.
#include "MainWindow.h"
#include "Startup.h"

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>

namespace {

class FirstPaintProbe : public QObject
{
public:
    explicit FirstPaintProbe(QWidget *window)
        : window(window)
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == window && event->type() == QEvent::Paint && !seen) {
            seen = true;
            const auto now = std::chrono::system_clock::now().time_since_epoch();
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            std::printf("first_paint_ns %lld\npeak_rss_kib %ld\n",
                        (long long)std::chrono::duration_cast<std::chrono::nanoseconds>(now).count(), usage.ru_maxrss);
            std::fflush(stdout);
            QTimer::singleShot(0, window, &QWidget::close);
        }
        return false;
    }

private:
    QWidget *window;
    bool seen = false;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QTranslator translator;
    Startup::installTranslation(app, translator, QLocale::system().name());
    Startup::loadStyleSheet();
    FirstPaintProbe *probe = nullptr;
    const int result = Startup::runMainWindow(app, [&](MainWindow &window) {
        probe = new FirstPaintProbe(&window);
        window.installEventFilter(probe);
    });
    delete probe;
    return result;
}
