// The live read-out against a gimbal on a real port: scaling by product row, clamping, and
// when the calibrate button may come back.
#include "IsolatedSettings.h"
#include "FakePortEnumerator.h"
#include "RegisterResponder.h"
#include "RegisterTable.h"
#include "SensorPlotWindow.h"
#include "WindowProbe.h"

#include <QTabWidget>
#include <QToolButton>
#include <memory>

namespace {

constexpr int16_t ReadyStatus = int16_t(0x8000);

// A window whose port is open on a responder that answers with still, ready, 1 g readings.
struct ReadoutRig
{
    ReadoutRig()
    {
        gimbal.set(accZ, 4096);
        gimbal.set(calibStatus, ReadyStatus);
        auto *ports = new FakePortEnumerator;
        ports->setPorts({FakePortEnumerator::adapter(gimbal.path())});
        window = std::make_unique<MainWindow>(ports);
        probe = std::make_unique<WindowProbe>(*window);
    }

    bool connect()
    {
        probe->open(gimbal.path());
        return QTest::qWaitFor([this] { return probe->status() == QStringLiteral("已连接！"); }, 10000);
    }

    RegisterResponder gimbal;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<WindowProbe> probe;
};

} // namespace

class MainWindowReadoutTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { IsolatedSettings::reset(); }

    void gyroScaleFollowsTheProductRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("shown");
        QTest::newRow("row 2 (K5-Ember)") << 2 << QStringLiteral("10.0");
        QTest::newRow("row 3 (K5-Ember2)") << 3 << QStringLiteral("20.0");
        QTest::newRow("row 0 (2-axis)") << 0 << QStringLiteral("10.0");
        QTest::newRow("row 8 (K5-Aster)") << 8 << QStringLiteral("20.0");
    }

    void gyroScaleFollowsTheProductRow()
    {
        QFETCH(int, row);
        QFETCH(QString, shown);
        ReadoutRig rig;
        rig.probe->products()->setCurrentIndex(row);
        rig.gimbal.set(gyroX, 328);
        QVERIFY(rig.connect());
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Gx"), shown);
        QCOMPARE(rig.probe->readoutText("doubleSpinBox_Gmod"), shown);
    }

    void accelerationInGAndClampedToTheBox()
    {
        ReadoutRig rig;
        QVERIFY(rig.connect());
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Az"), QStringLiteral("1.000"));
        QCOMPARE(rig.probe->readoutText("doubleSpinBox_Amod"), QStringLiteral("1.000"));
        QCOMPARE(rig.probe->readoutText("doubleSpinBox_Ax"), QStringLiteral("0.000"));

        rig.gimbal.set(accX, 32767);
        rig.gimbal.set(accY, 32767);
        rig.gimbal.set(accZ, 32767);
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Amod"), QStringLiteral("10.000"));
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Ax"), QStringLiteral("8.000"));

        rig.gimbal.set(accZ, -4096);
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Az"), QStringLiteral("-1.000"));
    }

    // The button comes back only when the link is up, the gimbal ready, the reading not all zero
    // and the port open: each condition alone keeps it off while all others would enable it.
    void calibrateButtonNeedsEveryCondition_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::newRow("nothing missing") << QString();
        QTest::newRow("ready bit clear") << "ready";
        QTest::newRow("acceleration exactly zero") << "amod";
        QTest::newRow("link down") << "link";
        QTest::newRow("port closed") << "port";
    }

    void calibrateButtonNeedsEveryCondition()
    {
        QFETCH(QString, missing);
        ReadoutRig rig;
        if (missing == "ready")
            rig.gimbal.set(calibStatus, 0x0000);
        if (missing == "amod")
            rig.gimbal.set(accZ, 0);
        QVERIFY(rig.connect());
        QPushButton *button = rig.probe->calibrateButton();
        if (missing.isEmpty()) {
            QTRY_VERIFY(button->isEnabled());
            return;
        }
        if (missing == "link") {
            rig.gimbal.silent = true;
            QTRY_COMPARE_WITH_TIMEOUT(rig.probe->status(), QStringLiteral("连接已断开！"), 10000);
        } else if (missing == "port") {
            QTest::mouseClick(rig.probe->openButton(), Qt::LeftButton); // the link stays up for a while
        }
        if (missing == "link" || missing == "port") {
            // Everything else holds again, as the table would show it.
            registerTable[calibStatus].value.store(uint16_t(ReadyStatus));
            registerTable[accZ].value.store(4096);
        }
        // A changing reading shows that the read-out has ticked, and judged the button, since.
        // (Row 4: 16.4 counts per degree/s.)
        for (int16_t rate : {164, 328, 492}) {
            if (missing == "link" || missing == "port")
                registerTable[gyroX].value.store(uint16_t(rate));
            else
                rig.gimbal.set(gyroX, rate);
            const QString shown = QString::number(rate / 16.4, 'f', 1);
            QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Gx"), shown);
            QVERIFY(!button->isEnabled());
        }
    }

    // One click on the calibration tab's corner opens the plot, which then receives every
    // read-out tick; a still reading does not repaint a read-out box however often the
    // read-out ticks. The button belongs to the calibration tab only.
    void plotFollowsTheReadoutAndStillBoxesAreNotRepainted()
    {
        ReadoutRig rig;
        rig.gimbal.set(gyroX, 328); // row 4: 20 degree/s
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        QVERIFY(rig.connect());
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Gx"), QStringLiteral("20.0"));
        QTRY_COMPARE(rig.probe->readoutText("doubleSpinBox_Az"), QStringLiteral("1.000"));

        auto *plotButton = rig.probe->widget<QToolButton>("plotButton");
        QVERIFY(plotButton->isVisible());
        QTest::mouseClick(plotButton, Qt::LeftButton);
        auto *plot = rig.window->findChild<SensorPlotWindow *>();
        QVERIFY(plot && plot->isVisible());
        QTRY_VERIFY(plot->samples().size() >= 3);
        QCOMPARE(plot->samples().newest().r.gx, 20.0f);
        QCOMPARE(plot->samples().newest().r.az, 1.0f);

        QCoreApplication::processEvents();
        int paints = 0;
        struct Counter : QObject {
            int *n;
            bool eventFilter(QObject *, QEvent *e) override { if (e->type() == QEvent::Paint) ++*n; return false; }
        } counter;
        counter.n = &paints;
        for (QDoubleSpinBox *box : rig.window->findChildren<QDoubleSpinBox *>()) {
            QList<QWidget *> parts = box->findChildren<QWidget *>();
            parts.append(box);
            for (QWidget *w : std::as_const(parts))
                w->installEventFilter(&counter);
        }
        // Showing the plot window changes which window is active, and that repaints everything
        // once, at a moment of its own: a quiet stretch of 25 ticks is looked for, a few times.
        for (int attempt = 0; attempt < 5; ++attempt) {
            paints = 0;
            const qsizetype ticks = plot->samples().size();
            QTRY_VERIFY(plot->samples().size() >= ticks + 25);
            if (paints == 0)
                break;
        }
        QCOMPARE(paints, 0);

        rig.probe->widget<QTabWidget>("tabWidget")->setCurrentIndex(1);
        QVERIFY(!plotButton->isVisible());
        rig.probe->widget<QTabWidget>("tabWidget")->setCurrentIndex(0);
        QVERIFY(plotButton->isVisible());
    }

    void cleanup() { clearRegisterValues(); }
};

QTEST_MAIN(MainWindowReadoutTest)
#include "tst_mainwindow_readout.moc"
