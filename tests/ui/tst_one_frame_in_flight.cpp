// The runtime protocol carries one exchange at a time: across an open, a reopen, a product
// change and a return from the firmware tab, no request goes out over an unanswered one, and
// none that was answered is sent again.
#include "DebugCapture.h"
#include "FakePortEnumerator.h"
#include "IsolatedSettings.h"
#include "RegisterResponder.h"
#include "WindowProbe.h"

#include <QTabWidget>
#include <memory>

namespace {

constexpr int PollTimeoutMs = 200;

// The first request that left while the one before it was neither answered nor timed out.
QString firstOverlap(const QList<LineEvent> &events)
{
    const LineEvent *outstanding = nullptr;
    for (const LineEvent &event : events) {
        if (event.kind == LineEvent::Hangup || event.kind == LineEvent::Answer) {
            outstanding = nullptr;
            continue;
        }
        // A few milliseconds of slack for the line and the timers on a busy machine.
        if (outstanding && event.atMs - outstanding->atMs < PollTimeoutMs - 5)
            return QStringLiteral("request %1 at %2 ms went out over the unanswered %3 of %4 ms")
                .arg(event.cmd, 4, 16, QLatin1Char('0'))
                .arg(event.atMs)
                .arg(outstanding->cmd, 4, 16, QLatin1Char('0'))
                .arg(outstanding->atMs);
        outstanding = &event;
    }
    return {};
}

// A request sent again although the gimbal had answered it: an attempt failed by something
// other than the line (a cancel left over from before the exchange).
QString firstNeedlessResend(const QList<LineEvent> &events)
{
    const LineEvent *last = nullptr;
    bool answered = false;
    for (const LineEvent &event : events) {
        if (event.kind == LineEvent::Answer)
            answered = last && event.cmd == last->cmd;
        if (event.kind != LineEvent::Request)
            continue;
        if (last && answered && event.slave == last->slave && event.cmd == last->cmd)
            return QStringLiteral("request %1 at %2 ms was answered and sent again")
                .arg(event.cmd, 4, 16, QLatin1Char('0'))
                .arg(event.atMs);
        last = &event;
        answered = false;
    }
    return {};
}

qsizetype requestsTo(const QList<LineEvent> &events, uint8_t slave)
{
    return std::count_if(events.begin(), events.end(), [slave](const LineEvent &e) {
        return e.kind == LineEvent::Request && e.slave == slave;
    });
}

} // namespace

class OneFrameInFlightTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void noRequestOvertakesTheUnansweredOne()
    {
        RegisterResponder gimbal;
        QVERIFY(gimbal.isValid());
        // A gimbal that takes its time: a second request sent before the answer shows here.
        gimbal.answerDelayMs = 15;
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(gimbal.path())});
        MainWindow window(ports);
        WindowProbe probe(window);
        probe.products()->setCurrentIndex(4); // profile 2: slave address 1
        auto *tabs = probe.widget<QTabWidget>("tabWidget");

        auto requestsAfter = [&](qsizetype from, uint8_t slave, qsizetype count) {
            return QTest::qWaitFor([&] { return requestsTo(gimbal.events.mid(from), slave) >= count; }, 10000);
        };

        // The open.
        probe.open(gimbal.path());
        QVERIFY(requestsAfter(0, 1, 12));
        // The reopen, once the far side has seen the close.
        QTest::mouseClick(probe.openButton(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!gimbal.events.isEmpty() && gimbal.events.last().kind == LineEvent::Hangup, 10000);
        qsizetype mark = gimbal.events.size();
        probe.open(gimbal.path());
        QVERIFY(requestsAfter(mark, 1, 12));
        // A product change to profile 0 (slave address 2), with an exchange in flight.
        mark = gimbal.events.size();
        probe.products()->setCurrentIndex(0);
        QVERIFY(requestsAfter(mark, 2, 12));
        // Away to the firmware tab until polling has paused, and back.
        QLoggingCategory::setFilterRules(QStringLiteral("velmora.stars.debug=true"));
        DebugCapture lines;
        tabs->setCurrentIndex(1);
        QTRY_VERIFY_WITH_TIMEOUT(lines.count(QStringLiteral("suspended: polling paused")) == 1, 10000);
        mark = gimbal.events.size();
        tabs->setCurrentIndex(0);
        QVERIFY(requestsAfter(mark, 2, 12));

        QCOMPARE(firstOverlap(gimbal.events), QString());
        QCOMPARE(firstNeedlessResend(gimbal.events), QString());
    }
};

QTEST_MAIN(OneFrameInFlightTest)
#include "tst_one_frame_in_flight.moc"
