// SerialPort: failed opens, a device that goes away, and calls after the port's thread has ended.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QRegularExpression>
#include <QTest>
#include <QThread>

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
        connect(&port, &SerialPort::closedUnexpectedly, this,
                [&reasons](const QString &reason) { reasons.append(reason); });

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("lost: "));
        pty.closeMaster();
        QTRY_COMPARE_WITH_TIMEOUT(reasons.size(), 1, 10000);
        QVERIFY(!port.isOpen());
        QVERIFY(!reasons.first().isEmpty());

        // A hand-over runs after everything the port's thread has done so far, and the
        // signals it queued to us are delivered by the event processing that follows.
        port.close();
        QCoreApplication::processEvents();
        QCOMPARE(reasons.size(), 1);
        QVERIFY2(errors <= 3, qPrintable(QString("%1 error signals").arg(errors)));
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
