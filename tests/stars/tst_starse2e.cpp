// The runtime protocol end to end: service, link, port worker and serial port against the simulator program.
#include "MetaTypes.h"
#include "PortListener.h"
#include "RegisterTable.h"
#include "SerialPort.h"
#include "SimulatorProcess.h"
#include "StarsLink.h"
#include "StarsService.h"

#include <QSet>
#include <QTest>

namespace {

// The byte path of the window, wired in the order the data flows.
struct HostStack
{
    HostStack()
        : listener(&port)
    {
        QObject::connect(&service, &StarsService::transmitPacket, &link, &StarsLink::transmit);
        QObject::connect(&link, &StarsLink::rxFlush, &listener, &PortListener::flush);
        QObject::connect(&link, &StarsLink::streamOut, &listener, &PortListener::writeBytes);
        QObject::connect(&listener, &PortListener::readBytes, &link, &StarsLink::parser);
        QObject::connect(&link, &StarsLink::recvFrame, &service, &StarsService::onRecvFrame);
        QObject::connect(&service, &StarsService::connected, &context, [this](bool value) { connectedEvents.append(value); });
    }
    ~HostStack()
    {
        service.stop();
        service.wait();
    }

    SerialPort port;
    PortListener listener;
    StarsLink link;
    StarsService service;
    QObject context;
    QList<bool> connectedEvents;
};

} // namespace

class StarsEndToEndTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { registerQueuedMetaTypes(); }

    void serviceConnectsOverThePseudoTerminalAndKeepsTheTableMoving()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--profile"), QStringLiteral("2"), QStringLiteral("--calibrated")}));
        HostStack host;
        host.service.setRegisterProfile(2);
        host.port.setPortName(sim.path());
        QVERIFY(host.port.open());
        host.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(host.connectedEvents, QList<bool>{true}, 15000);

        // Sensor noise makes each poll of accZ a little different: the table keeps moving.
        QSet<int16_t> seen;
        QTRY_VERIFY_WITH_TIMEOUT((seen.insert(registerTable[accZ].signedValue()), seen.size() >= 4), 15000);
        QVERIFY(qAbs(registerTable[accZ].signedValue() - 4096) < 100);
        QVERIFY(registerTable[calibStatus].signedValue() < 0);
        QCOMPARE(host.connectedEvents, QList<bool>{true});
    }

    void damagedLineCostsRetriesButNeverBadValues()
    {
        SimulatorProcess sim;
        QVERIFY(sim.start({QStringLiteral("--profile"), QStringLiteral("2"), QStringLiteral("--drop"), QStringLiteral("0.02"),
                           QStringLiteral("--corrupt"), QStringLiteral("0.02"), QStringLiteral("--seed"), QStringLiteral("7"),
                           QStringLiteral("--calibrated")}));
        HostStack host;
        host.service.setRegisterProfile(2);
        host.port.setPortName(sim.path());
        QVERIFY(host.port.open());
        host.service.start();
        QTRY_VERIFY_WITH_TIMEOUT(host.connectedEvents.contains(true), 15000);

        // Every stored value comes from a checked frame: accZ is always 0 (cleared) or about 1 g.
        int samples = 0;
        int16_t badValue = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     const int16_t z = registerTable[accZ].signedValue();
                                     if (z != 0 && qAbs(z - 4096) >= 100)
                                         badValue = z;
                                     return badValue != 0 || ++samples >= 100;
                                 }()),
                                 20000);
        QVERIFY2(badValue == 0, qPrintable(QString::number(badValue)));
    }
};

QTEST_MAIN(StarsEndToEndTest)
#include "tst_starse2e.moc"
