// Unplugging the adapter at random moments while the link is up: once the port is closed,
// nothing read before the close may bring the link back.
#include "GimbalDevice.h"
#include "MetaTypes.h"
#include "PortListener.h"
#include "PseudoTerminal.h"
#include "SerialPort.h"
#include "StarsLink.h"
#include "StarsService.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>
#include <QUuid>
#include <memory>

class StarsUnplugTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerQueuedMetaTypes(); }

    void noConnectedAfterTheClose()
    {
        QRandomGenerator random(2024);
        int connectedAfterClose = 0;
        for (int round = 0; round < 50; ++round) {
            const QString path = QDir::temp().filePath(QStringLiteral("velmora-unplug-%1").arg(QUuid::createUuid().toString(QUuid::Id128)));
            auto terminal = std::make_unique<PseudoTerminal>();
            QVERIFY2(terminal->open(path), qPrintable(terminal->errorString()));
            GimbalSettings gimbal;
            gimbal.profile = 2;
            GimbalDevice device(gimbal, LineSettings{});
            connect(terminal.get(), &PseudoTerminal::bytesReceived, &device, &GimbalDevice::receiveBytes);
            connect(&device, &GimbalDevice::sendBytes, terminal.get(), &PseudoTerminal::write);

            auto *port = new SerialPort; // handed back to this thread by the worker's destructor
            auto listener = std::make_unique<PortListener>(port);
            StarsLink link;
            StarsService service;
            service.setRegisterProfile(2);
            connect(&service, &StarsService::transmitPacket, &link, &StarsLink::transmit);
            connect(&link, &StarsLink::recvFrame, &service, &StarsService::onRecvFrame);
            connect(listener.get(), &PortListener::readBytes, &link, &StarsLink::parser);
            connect(&link, &StarsLink::streamOut, listener.get(), &PortListener::writeBytes);
            connect(&link, &StarsLink::rxFlush, listener.get(), &PortListener::flush);

            // What the window does when the port is lost.
            bool closed = false;
            QList<bool> events;
            connect(port, &SerialPort::closedUnexpectedly, this, [&] {
                service.setPortOpen(false);
                port->close();
                service.onCancel();
                closed = true;
            });
            connect(&service, &StarsService::connected, this, [&](bool value) {
                events.append(value);
                if (closed && value)
                    ++connectedAfterClose;
            });

            port->setPortName(path);
            QVERIFY(port->open());
            service.start();
            QTRY_VERIFY_WITH_TIMEOUT(events.contains(true), 5000);
            QTest::qWait(random.bounded(150));
            terminal.reset(); // the adapter is pulled out
            QTRY_VERIFY_WITH_TIMEOUT(closed, 5000);
            // Everything read before the close now reaches the service: the port worker's and
            // the link's queues are emptied in the order the bytes travel.
            QMetaObject::invokeMethod(listener.get(), [] {}, Qt::BlockingQueuedConnection);
            QMetaObject::invokeMethod(&link, [] {}, Qt::BlockingQueuedConnection);
            QCoreApplication::processEvents();
            if (round % 10 == 0) {
                // The link goes down once the running exchange has used up its attempts.
                QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty() && !events.last(), 6000);
            } else {
                // A late frame taken for an answer would bring the link back within the cycle.
                QVERIFY(!QTest::qWaitFor([&] { return connectedAfterClose > 0; }, 50));
            }
            service.stop();
            service.wait();
            listener.reset();
            delete port;
        }
        QCOMPARE(connectedAfterClose, 0);
    }
};

QTEST_MAIN(StarsUnplugTest)
#include "tst_starsunplug.moc"
