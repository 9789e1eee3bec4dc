// SerialPort: failed opens, a device that goes away, opening generations, and calls after the port's thread has ended.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <memory>

class TestSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void openingMissingPathFailsAndSaysWhy()
    {
        SerialPort port;
        PortListener listener(&port);
        port.setPortName("/nonexistent/velmora-port");
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("cannot open \"/nonexistent/velmora-port\": .+"));
        QVERIFY(!port.open());
        QVERIFY(!port.isOpen());
        QCOMPARE(port.portName(), QString("/nonexistent/velmora-port"));
    }

    // A hung-up line makes QSerialPort raise errors for as long as the port stays open; the
    // port must close at the first one and report the loss once.
    void hangUpClosesPortOnceWithoutErrorFlood()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialPort port;
        PortListener listener(&port);
        port.setPortName(pty.slavePath());
        QVERIFY(port.open());

        int errors = 0;
        connect(port.device(), &QSerialPort::errorOccurred, this,
                [&errors](QSerialPort::SerialPortError e) {
                    if (e != QSerialPort::NoError)
                        ++errors;
                });
        QStringList reasons;
        QList<quint64> generations;
        connect(&port, &SerialPort::closedUnexpectedly, this,
                [&](const QString &reason, quint64 generation) {
                    reasons.append(reason);
                    generations.append(generation);
                });

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lost: "));
        pty.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(reasons.size(), 1, 10000);
        QVERIFY(!port.isOpen());
        QVERIFY(!reasons.first().isEmpty());
        QCOMPARE(generations, QList<quint64>{port.openGeneration()});

        // A hand-over runs after everything the port's thread has done so far, and the
        // signals it queued to us are delivered by the event processing that follows.
        port.close();
        QCoreApplication::processEvents();
        QCOMPARE(reasons.size(), 1);
        QVERIFY2(errors <= 3, qPrintable(QString("%1 error signals").arg(errors)));
    }

    // Each successful open starts a new generation and a loss names the one it ended, so a
    // notice that arrives late cannot be taken for a loss of a later opening.
    void lossNamesTheOpeningItEnded()
    {
        SerialPort port;
        PortListener listener(&port);
        QCOMPARE(port.openGeneration(), quint64(0));
        QList<quint64> lost;
        connect(&port, &SerialPort::closedUnexpectedly, this,
                [&lost](const QString &, quint64 generation) { lost.append(generation); });

        auto first = std::make_unique<PtyPair>();
        port.setPortName(first->slavePath());
        QVERIFY(port.open());
        const quint64 firstOpening = port.openGeneration();
        QVERIFY(firstOpening > 0);
        QVERIFY(port.open());
        QCOMPARE(port.openGeneration(), firstOpening);

        // A deliberate close is no loss, not even when the line hangs up afterwards.
        port.close();
        QCOMPARE(port.openGeneration(), firstOpening);
        first->closeMaster();

        PtyPair second;
        port.setPortName(second.slavePath());
        QVERIFY(port.open());
        const quint64 secondOpening = port.openGeneration();
        QCOMPARE(secondOpening, firstOpening + 1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lost: "));
        second.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(lost, QList<quint64>{secondOpening}, 10000);

        // A failed open is no opening.
        port.setPortName("/nonexistent/velmora-port");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot open"));
        QVERIFY(!port.open());
        QCOMPARE(port.openGeneration(), secondOpening);

        PtyPair third;
        port.setPortName(third.slavePath());
        QVERIFY(port.open());
        QCOMPARE(port.openGeneration(), secondOpening + 1);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lost: "));
        third.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(lost, (QList<quint64>{secondOpening, secondOpening + 1}), 10000);
    }

    // Hang-ups at random moments of traffic in both directions: each loss is reported once,
    // with its own opening, and leaves the port closed.
    void everyHangUpIsReportedOnceWithItsOpening()
    {
        SerialPort port;
        PortListener listener(&port);
        QList<quint64> lost;
        connect(&port, &SerialPort::closedUnexpectedly, this,
                [&lost](const QString &, quint64 generation) { lost.append(generation); });
        QList<quint64> expected;
        QRandomGenerator rng(5);
        for (int round = 0; round < 50; ++round) {
            PtyPair pty;
            QVERIFY(pty.isValid());
            port.setPortName(pty.slavePath());
            QVERIFY(port.open());
            expected.append(port.openGeneration());
            const int frames = int(rng.bounded(20));
            for (int i = 0; i < frames; ++i) {
                QMetaObject::invokeMethod(&listener, [&listener] { listener.writeBytes("0123456"); },
                                          Qt::QueuedConnection);
                QVERIFY(pty.write("abcdefg"));
            }
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lost: "));
            pty.closeMaster();
            QTRY_COMPARE_WITH_TIMEOUT(lost, expected, 10000);
            QVERIFY(!port.isOpen());
        }
        port.close();
        QCoreApplication::processEvents();
        QCOMPARE(lost, expected);
    }

    // The port's thread object is gone (as when its worker is destroyed without handing it
    // back): the caller adopts the port.
    void callsAfterPortThreadIsDestroyedRunHere()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialPort port;
        port.setPortName(pty.slavePath());
        auto *thread = new QThread;
        thread->start();
        port.moveToThread(thread);
        thread->quit();
        thread->wait();
        delete thread;

        QVERIFY(port.open());
        QCOMPARE(port.thread(), QThread::currentThread());
        QVERIFY(pty.write("x"));
        QTRY_VERIFY_WITH_TIMEOUT(port.device()->bytesAvailable() > 0, 10000);
        port.close();
        QVERIFY(!port.isOpen());
    }

    // The port's thread still exists but has stopped: a queued call would wait forever.
    void callsAfterPortThreadHasStoppedDoNotHang()
    {
        PtyPair pty;
        QVERIFY(pty.isValid());
        SerialPort port;
        port.setPortName(pty.slavePath());
        QThread thread;
        thread.start();
        port.moveToThread(&thread);
        thread.quit();
        thread.wait();

        port.close();
        QVERIFY(!port.isOpen());
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
