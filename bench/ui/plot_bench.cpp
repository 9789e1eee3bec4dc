// CPU of the sensor plot at the read-out's 50 Hz, fed with moving synthetic samples: the
// QPainter plot window hidden and shown, and, when Qt Charts is available, a prototype of the
// same two panels of four curves drawn with Qt Charts (line series replaced every sample).
// Usage: bench_plot [seconds per case] [painter: leave the Qt Charts prototype out]
#include "SampleRing.h"
#include "SensorPlotWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <cstdio>
#include <functional>
#include <sys/resource.h>

#ifdef VELMORA_BENCH_QTCHARTS
#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QValueAxis>
#include <QVBoxLayout>
#endif

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop for `ms`, as the program does while the user watches.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A gimbal being turned by hand: slow swings with a little noise on every axis.
SensorReadout synthetic(qint64 ms)
{
    const double t = ms / 1000.0;
    const double n = std::sin(t * 377.0) * 0.3;
    const float gx = float(80.0 * std::sin(t * 1.3) + n), gy = float(40.0 * std::sin(t * 0.7 + 1.0) + n),
                gz = float(20.0 * std::cos(t * 2.1) + n);
    const float ax = float(0.3 * std::sin(t * 0.5) + n / 100), ay = float(0.2 * std::cos(t * 0.9) + n / 100),
                az = float(0.95 + n / 100);
    return SensorReadout{ax, ay, az, std::sqrt(ax * ax + ay * ay + az * az),
                         gx, gy, gz, std::sqrt(gx * gx + gy * gy + gz * gz)};
}

// Feeds `sink` one sample every 20 ms for `seconds` and returns the process's CPU share of one
// core over that time.
double measure(int seconds, const std::function<void(qint64, const SensorReadout &)> &sink)
{
    QElapsedTimer wall;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, [&] { sink(wall.elapsed(), synthetic(wall.elapsed())); });
    // One warm-up second fills the plot's buffer and the caches.
    wall.start();
    tick.start();
    runFor(1000);
    const double cpu0 = cpuSeconds();
    const qint64 start = wall.elapsed();
    runFor(seconds * 1000);
    const double used = cpuSeconds() - cpu0;
    const double elapsed = (wall.elapsed() - start) / 1000.0;
    tick.stop();
    return 100.0 * used / elapsed;
}

#ifdef VELMORA_BENCH_QTCHARTS
// The same picture with Qt Charts: two charts of four line series, each series' points
// replaced from the 10 s buffer at every sample (the fast path of QXYSeries), the value axes
// following the samples as the QPainter plot's auto scale does.
class ChartsPrototype : public QWidget
{
public:
    ChartsPrototype()
    {
        auto *layout = new QVBoxLayout(this);
        for (int panel = 0; panel < 2; ++panel) {
            auto *chart = new QChart;
            chart->legend()->setVisible(true);
            chart->setAnimationOptions(QChart::NoAnimation);
            auto *x = new QValueAxis;
            x->setRange(-10.0, 0.0);
            auto *y = new QValueAxis;
            chart->addAxis(x, Qt::AlignBottom);
            chart->addAxis(y, Qt::AlignLeft);
            for (int c = 0; c < 4; ++c) {
                auto *s = new QLineSeries;
                s->setName(c == 3 ? QStringLiteral("Mod") : QString(QChar(u'X' + c)));
                chart->addSeries(s);
                s->attachAxis(x);
                s->attachAxis(y);
                series[panel][c] = s;
            }
            axes[panel] = y;
            auto *view = new QChartView(chart);
            view->setRenderHint(QPainter::Antialiasing, false);
            layout->addWidget(view);
        }
        resize(560, 420);
    }

    void addSample(qint64 ms, const SensorReadout &r)
    {
        ring.append(ms, r);
        if (!isVisible())
            return;
        const qint64 newest = ring.newest().ms;
        for (int panel = 0; panel < 2; ++panel) {
            double low = 1e300, high = -1e300;
            for (int c = 0; c < 4; ++c) {
                QList<QPointF> points(ring.size());
                for (qsizetype i = 0; i < ring.size(); ++i) {
                    const SensorReadout &s = ring.at(i).r;
                    const float values[2][4] = {{s.gx, s.gy, s.gz, s.gmod}, {s.ax, s.ay, s.az, s.amod}};
                    const double v = values[panel][c];
                    points[i] = QPointF((ring.at(i).ms - newest) / 1000.0, v);
                    low = qMin(low, v);
                    high = qMax(high, v);
                }
                series[panel][c]->replace(points);
            }
            const double margin = qMax(high - low, panel == 0 ? 2.0 : 0.05) * 0.08;
            axes[panel]->setRange(low - margin, high + margin);
        }
    }

private:
    SampleRing ring;
    QLineSeries *series[2][4];
    QValueAxis *axes[2];
};
#endif

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    std::printf("platform %s, %d s per case, 50 samples/s, 10 s shown\n", qPrintable(QGuiApplication::platformName()),
                seconds);

    const double idle = measure(seconds, [](qint64, const SensorReadout &) {});
    std::printf("%-44s %.2f %% of one core\n", "feeding loop alone", idle);

    SensorPlotWindow plot;
    const double hidden = measure(seconds, [&](qint64 ms, const SensorReadout &r) { plot.addSample(ms, r); });
    std::printf("%-44s %.2f %% (plot alone %+.2f %%)\n", "QPainter plot window, hidden", hidden, hidden - idle);
    plot.show();
    if (!QTest::qWaitForWindowExposed(&plot))
        return 1;
    const double shown = measure(seconds, [&](qint64 ms, const SensorReadout &r) { plot.addSample(ms, r); });
    std::printf("%-44s %.2f %% (plot alone %+.2f %%) at %dx%d\n", "QPainter plot window, shown", shown, shown - idle,
                plot.width(), plot.height());
    plot.hide();

#ifdef VELMORA_BENCH_QTCHARTS
    if (argc > 2 && QByteArray(argv[2]) == "painter")
        return 0;
    ChartsPrototype charts;
    charts.resize(plot.size());
    const double chartsHidden = measure(seconds, [&](qint64 ms, const SensorReadout &r) { charts.addSample(ms, r); });
    std::printf("%-44s %.2f %% (plot alone %+.2f %%)\n", "Qt Charts prototype, hidden", chartsHidden, chartsHidden - idle);
    charts.show();
    if (!QTest::qWaitForWindowExposed(&charts))
        return 1;
    const double chartsShown = measure(seconds, [&](qint64 ms, const SensorReadout &r) { charts.addSample(ms, r); });
    std::printf("%-44s %.2f %% (plot alone %+.2f %%) at %dx%d\n", "Qt Charts prototype, shown", chartsShown,
                chartsShown - idle, charts.width(), charts.height());
#else
    std::printf("Qt Charts prototype: not built (qt6-charts-dev not installed)\n");
#endif
    return 0;
}
