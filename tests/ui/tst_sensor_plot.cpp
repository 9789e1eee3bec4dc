// The sensor plot's parts: the 10 s sample buffer, the CSV rows and their recorder, the plot
// window's painting (none while hidden or paused) and the read-out boxes' cheap updates.
#include "CsvRecorder.h"
#include "ReadoutBox.h"
#include "SampleRing.h"
#include "SensorCsv.h"
#include "SensorPlot.h"
#include "SensorPlotWindow.h"

#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>
#include <sys/stat.h>

namespace {

SensorReadout sample(float v)
{
    return SensorReadout{v, v, v, v, v, v, v, v};
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

QStringList fileLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class SensorPlotTest : public QObject
{
    Q_OBJECT

private slots:
    // At 50 Hz the buffer holds exactly the 500 samples of the last 10 s, oldest first, however
    // long it runs; a faster rate or a gap is still measured by time; a clock that went back
    // starts afresh.
    void ringKeepsExactlyTheLastTenSeconds()
    {
        SampleRing ring(10000);
        for (int i = 0; i < 5000; ++i) // 100 s
            ring.append(qint64(i) * 20, sample(float(i)));
        QCOMPARE(ring.size(), 500);
        QCOMPARE(ring.newest().ms, 4999 * 20);
        QCOMPARE(ring.at(0).ms, 4999 * 20 - 9980);
        for (qsizetype i = 0; i < ring.size(); ++i)
            QCOMPARE(ring.at(i).r.gx, float(4500 + i));

        // 400 Hz for 10 s: more than the initial slots, still exactly 10 s.
        for (int i = 1; i <= 4000; ++i)
            ring.append(100000 + qint64(i) * 5 / 2, sample(0.0f));
        QCOMPARE(ring.newest().ms, 110000);
        QCOMPARE(ring.size(), 4000);
        QCOMPARE(ring.at(0).ms, 100002);
        QCOMPARE(ring.at(0).r.gx, 0.0f);
    }

    void ringAfterAGapAndAClockGoingBack()
    {
        SampleRing ring(10000);
        for (int i = 0; i < 100; ++i)
            ring.append(qint64(i) * 20, sample(1.0f));
        ring.append(1980 + 10000, sample(2.0f)); // exactly 10 s after the newest: that one goes too
        QCOMPARE(ring.size(), 1);
        ring.append(1980 + 10000 + 9999, sample(3.0f));
        QCOMPARE(ring.size(), 2);
        ring.append(5, sample(4.0f));
        QCOMPARE(ring.size(), 1);
        QCOMPARE(ring.at(0).r.gx, 4.0f);
    }

    // One row: time from the first row in s (3 decimals), rates in degree/s (1 decimal),
    // accelerations in g (3 decimals), then the two moduli; rounded half away from zero, never
    // "-0", never a locale's decimal comma.
    void csvRowsHaveTheColumnsUnitsAndModuli()
    {
        QCOMPARE(SensorCsv::header(),
                 QByteArray("time_s,gyro_x_dps,gyro_y_dps,gyro_z_dps,acc_x_g,acc_y_g,acc_z_g,gyro_mod_dps,acc_mod_g"));
        // 328 counts at 16.4 per degree/s = 20 degree/s; 4096 counts = 1 g.
        const SensorReadout r = SensorReadout::fromRaw(4096, -2048, 0, 328, -164, 0, 16.4f);
        QLocale::setDefault(QLocale(QLocale::German));
        QCOMPARE(SensorCsv::row(1.5, r), QByteArray("1.500,20.0,-10.0,0.0,1.000,-0.500,0.000,22.4,1.118"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(SensorCsv::row(0.0, SensorReadout{-0.0004f, 0, 0, 0.0004f, -0.04f, 0, 0, 0.04f}),
                 QByteArray("0.000,0.0,0.0,0.0,0.000,0.000,0.000,0.0,0.000"));
        // Not clamped as the boxes are: a recording keeps what the sensor said.
        const SensorReadout big = SensorReadout::fromRaw(32767, 32767, 32767, 32767, 0, 0, 16.4f);
        QCOMPARE(SensorCsv::row(0.0, big).split(','), (QList<QByteArray>{"0.000", "1998.0", "0.0", "0.0", "8.000",
                                                                         "8.000", "8.000", "1998.0", "13.856"}));
    }

    // The recorder writes the header and one row per sample, time counted from its first
    // sample, and everything is on disk after stop. It refuses what is not a regular file
    // (without blocking on a FIFO) and says why.
    void recorderWritesRowsAndRefusesWhatIsNotAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rec.csv"));
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("an older, longer recording that must not survive\n1,2,3\n4,5,6\n7,8,9\n");
        }
        CsvRecorder recorder;
        QVERIFY(recorder.start(path));
        QVERIFY(recorder.isRecording());
        for (int i = 0; i < 3; ++i)
            QVERIFY(recorder.append(5000 + i * 20, SensorReadout::fromRaw(0, 0, 4096, 0, 0, int16_t(164 * i), 16.4f)));
        QVERIFY(recorder.stop());
        QVERIFY(!recorder.isRecording());
        QCOMPARE(recorder.rows(), 3);
        QCOMPARE(fileLines(path), (QStringList{QString::fromLatin1(SensorCsv::header()),
                                               QStringLiteral("0.000,0.0,0.0,0.0,0.000,0.000,1.000,0.0,1.000"),
                                               QStringLiteral("0.020,0.0,0.0,10.0,0.000,0.000,1.000,10.0,1.000"),
                                               QStringLiteral("0.040,0.0,0.0,20.0,0.000,0.000,1.000,20.0,1.000")}));
        QVERIFY(!recorder.append(6000, sample(1.0f))); // stopped: nothing more is written
        QCOMPARE(fileLines(path).size(), 4);

        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        for (const QString &bad : {fifo, dir.path(), QStringLiteral("/dev/null"), QString(),
                                   dir.filePath(QStringLiteral("missing/rec.csv"))}) {
            QVERIFY2(!recorder.start(bad), qPrintable(bad));
            QVERIFY(!recorder.isRecording());
            QVERIFY(!recorder.errorString().isEmpty());
        }
    }

    // Hidden, the window buffers (and records) but its plot receives no paint event; shown, it
    // paints as samples come; paused, it paints nothing more and its picture stays the one of
    // the pause while buffer and recording go on; resumed, it follows again.
    void plotPaintsOnlyWhenShownAndNotPaused()
    {
        QTemporaryDir dir;
        SensorPlotWindow window;
        PaintCounter paints(window.plot());
        QVERIFY(window.startRecording(dir.filePath(QStringLiteral("plot.csv"))));
        for (int i = 0; i < 100; ++i) {
            window.addSample(qint64(i) * 20, sample(float(i)));
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints.count, 0);
        QCOMPARE(window.samples().size(), 100);

        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(paints.count > 0);
        int before = paints.count;
        window.addSample(2000, sample(1.0f));
        QTRY_VERIFY(paints.count > before);

        QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("pauseButton")), Qt::LeftButton);
        QVERIFY(window.isPaused());
        QCoreApplication::processEvents();
        before = paints.count;
        for (int i = 101; i < 150; ++i) {
            window.addSample(qint64(i) * 20, sample(float(i)));
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints.count, before);
        QCOMPARE(window.samples().newest().ms, 149 * 20);
        // A repaint while paused (a resize, an expose) still draws the frozen samples.
        QImage paused(window.plot()->size(), QImage::Format_RGB32);
        window.plot()->render(&paused);
        window.addSample(150 * 20, sample(-500.0f));
        QImage stillPaused(window.plot()->size(), QImage::Format_RGB32);
        window.plot()->render(&stillPaused);
        QCOMPARE(stillPaused, paused);

        window.setPaused(false);
        before = paints.count;
        window.addSample(151 * 20, sample(1.0f));
        QTRY_VERIFY(paints.count > before);
        QImage resumed(window.plot()->size(), QImage::Format_RGB32);
        window.plot()->render(&resumed);
        QVERIFY(resumed != paused);

        window.hide();
        QCoreApplication::processEvents();
        before = paints.count;
        for (int i = 152; i < 200; ++i) {
            window.addSample(qint64(i) * 20, sample(1.0f));
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints.count, before);

        window.stopRecording();
        // Every sample was recorded, paused, shown or hidden.
        QCOMPARE(fileLines(dir.filePath(QStringLiteral("plot.csv"))).size(), 1 + 100 + 1 + 49 + 1 + 1 + 48);
    }

    // A read-out box is told a value only when its shown text would change: rounding to its
    // decimals and clamping to its range happen before the comparison.
    void readoutBoxSkipsUnchangedTexts()
    {
        QDoubleSpinBox box;
        box.setDecimals(1);
        box.setRange(-2000.0, 2000.0);
        box.setReadOnly(true);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QSignalSpy changes(&box, &QDoubleSpinBox::textChanged);
        ReadoutBox readout(&box);

        QVERIFY(readout.show(10.01f));
        QCOMPARE(box.text(), QStringLiteral("10.0"));
        QVERIFY(!readout.show(10.04f));
        QVERIFY(!readout.show(9.96f));
        QVERIFY(readout.show(10.05f)); // half away from zero
        QCOMPARE(box.text(), QStringLiteral("10.1"));
        QVERIFY(readout.show(2500.0f));
        QCOMPARE(box.text(), QStringLiteral("2000.0"));
        QVERIFY(!readout.show(2600.0f));
        QVERIFY(!readout.show(std::numeric_limits<float>::infinity()));
        QVERIFY(readout.show(-0.04f));
        QCOMPARE(box.text(), QStringLiteral("0.0"));
        QCOMPARE(changes.size(), 4);

        // No repaint either while the text stays (the repaints of the changes above are done first).
        QCoreApplication::processEvents();
        PaintCounter paints(&box);
        PaintCounter editPaints(box.findChild<QLineEdit *>());
        for (int i = 0; i < 50; ++i) {
            readout.show(0.01f * float(i % 4));
            QCoreApplication::processEvents();
        }
        QCOMPARE(paints.count + editPaints.count, 0);
    }
};

QTEST_MAIN(SensorPlotTest)
#include "tst_sensor_plot.moc"
