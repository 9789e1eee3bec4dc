// The port worker over a real pseudo-terminal: what leaves, what arrives, and when nothing may.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QRandomGenerator>
#include <QSemaphore>
#include <QTest>

#include <atomic>
#include <memory>

class TestPortListener : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<SerialPort> port;
    std::unique_ptr<PortListener> listener;
    QByteArray received;
    int emptyChunks = 0;

    // Queued into the worker's thread, as a link's streamOut signal would be.
    void send(const QByteArray &bytes)
    {
        PortListener *worker = listener.get();
        QMetaObject::invokeMethod(worker, [worker, bytes] { worker->writeBytes(bytes); },
                                  Qt::QueuedConnection);
    }

private slots:
    void init()
    {
        pty = std::make_unique<PtyPair>();
        QVERIFY(pty->isValid());
        port = std::make_unique<SerialPort>();
        port->setPortName(pty->slavePath());
        listener = std::make_unique<PortListener>(port.get());
        received.clear();
        emptyChunks = 0;
        // `this` lives in the test thread, so chunks arrive here as queued calls.
        connect(listener.get(), &PortListener::readBytes, this, [this](const QByteArray &chunk) {
            if (chunk.isEmpty())
                ++emptyChunks;
            received += chunk;
        });
    }

    void cleanup()
    {
        QCOMPARE(emptyChunks, 0);
        listener.reset();
        port.reset();
        pty.reset();
    }

    void writtenBytesArriveInOrder()
    {
        QVERIFY(port->open());
        QByteArray expected;
        for (int i = 0; i < 50; ++i) {
            const QByteArray frame = QByteArray::number(i).rightJustified(7, '.');
            expected += frame;
            send(frame);
        }
        QCOMPARE(pty->read(expected.size(), 10000), expected);
    }

    // Writes that queue up while the worker is busy leave in the order given, none lost.
    void writesQueuedBehindABusyWorkerLeaveInOrder()
    {
        QVERIFY(port->open());
        QSemaphore gate;
        QMetaObject::invokeMethod(listener.get(), [&gate] { gate.acquire(); },
                                  Qt::QueuedConnection);
        send("abc");
        send("defg");
        gate.release();
        QCOMPARE(pty->read(7, 10000), QByteArray("abcdefg"));
    }

    // More than the line takes at once: the rest must follow, in order, before later bytes,
    // and a full line (a flush or a write meeting "try again") is no lost device.
    void writeLargerThanTheLineBufferArrivesWhole()
    {
        QVERIFY(port->open());
        int losses = 0;
        connect(port.get(), &SerialPort::closedUnexpectedly, this, [&losses] { ++losses; });
        QByteArray big(256 * 1024, Qt::Uninitialized);
        QRandomGenerator rng(11);
        for (char &c : big)
            c = char(rng.bounded(256));
        send(big);
        PortListener *worker = listener.get();
        for (int i = 0; i < 3; ++i)
            QMetaObject::invokeMethod(worker, [worker] { worker->flush(); }, Qt::QueuedConnection);
        send("tail");
        const QByteArray expected = big + "tail";
        QCOMPARE(pty->read(expected.size(), 30000), expected);
        QVERIFY(port->isOpen());
        QCOMPARE(losses, 0);
    }

    void receivedChunksConcatenateToWhatWasSent()
    {
        QVERIFY(port->open());
        QByteArray sent;
        QRandomGenerator rng(7);
        for (int piece = 0; piece < 40; ++piece) {
            QByteArray bytes(int(rng.bounded(1, 300)), Qt::Uninitialized);
            for (char &c : bytes)
                c = char(rng.bounded(256));
            QVERIFY(pty->write(bytes));
            sent += bytes;
        }
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), sent.size(), 10000);
        QCOMPARE(received, sent);
    }

    void inputPendingBeforeOpenIsDiscarded()
    {
        QVERIFY(pty->write("stale"));
        QVERIFY(port->open());
        QVERIFY(pty->write("fresh"));
        QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("fresh"), 10000);
    }

    // The bytes queued before the open are ahead of the later ones on the line, so if they
    // were ever sent they would show up first.
    void bytesQueuedWhileClosedAreNeverSent()
    {
        send("early");
        QVERIFY(port->open());
        send("late");
        QCOMPARE(pty->read(4, 10000), QByteArray("late"));

        port->close();
        send("closed");
        QVERIFY(port->open());
        send("again");
        QCOMPARE(pty->read(5, 10000), QByteArray("again"));
    }

    // flush() pushes output out; input that has arrived but not been handed on yet stays.
    void flushKeepsReceivedInput()
    {
        QVERIFY(port->open());
        QSemaphore gate;
        QMetaObject::invokeMethod(listener.get(), [&gate] { gate.acquire(); },
                                  Qt::QueuedConnection);
        QVERIFY(pty->write("input"));
        PortListener *worker = listener.get();
        QMetaObject::invokeMethod(worker, [worker] { worker->flush(); }, Qt::QueuedConnection);
        gate.release();
        QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("input"), 10000);
    }

    void flushBeforeWriteKeepsTheFrame()
    {
        QVERIFY(port->open());
        PortListener *worker = listener.get();
        QMetaObject::invokeMethod(worker, [worker] { worker->flush(); }, Qt::QueuedConnection);
        send("frame!!");
        QCOMPARE(pty->read(7, 10000), QByteArray("frame!!"));
    }

    void destroyingWorkerStopsItsThreadAndKeepsPortUsable()
    {
        QVERIFY(port->open());
        std::atomic<bool> threadFinished{false};
        connect(listener->workerThread(), &QThread::finished, listener->workerThread(),
                [&threadFinished] { threadFinished = true; }, Qt::DirectConnection);

        listener.reset();
        QVERIFY(threadFinished);
        QCOMPARE(port->thread(), QThread::currentThread());

        // The port now lives here: the calls run directly and cannot wait on a dead thread.
        QVERIFY(port->isOpen());
        port->close();
        QVERIFY(!port->isOpen());
        QVERIFY(port->open());
        QVERIFY(port->isOpen());
    }
};

QTEST_GUILESS_MAIN(TestPortListener)
#include "tst_port_listener.moc"
