// Values of the program's integer types cross threads through connections spelled with their names.
#include "MetaTypes.h"

#include <QThread>
#include <QtTest>
#include <cstdint>

class Sender : public QObject
{
    Q_OBJECT

signals:
    void timeout(uint32_t ms);
    void frame(uint8_t slave, uint16_t cmd, uint16_t value);
};

class Receiver : public QObject
{
    Q_OBJECT

public:
    uint32_t ms = 0;
    uint8_t slave = 0;
    uint16_t cmd = 0;
    uint16_t value = 0;
    QThread *ranIn = nullptr;

public slots:
    void onTimeout(uint32_t m)
    {
        ms = m;
        ranIn = QThread::currentThread();
    }
    void onFrame(uint8_t s, uint16_t c, uint16_t v)
    {
        slave = s;
        cmd = c;
        value = v;
    }
};

class QueuedTypesTest : public QObject
{
    Q_OBJECT

private slots:
    void largeValuesCrossAQueuedConnectionUnchanged()
    {
        registerQueuedMetaTypes();
        QThread thread;
        Receiver receiver;
        receiver.moveToThread(&thread);
        thread.start();
        Sender sender;
        // String-based connections resolve the argument types by name at run time.
        QVERIFY(connect(&sender, SIGNAL(timeout(uint32_t)), &receiver, SLOT(onTimeout(uint32_t))));
        QVERIFY(connect(&sender, SIGNAL(frame(uint8_t, uint16_t, uint16_t)), &receiver,
                        SLOT(onFrame(uint8_t, uint16_t, uint16_t))));

        emit sender.timeout(3000000u);
        emit sender.frame(0xFE, 0xC005, 0xA151);
        QTRY_COMPARE(receiver.ms, 3000000u);
        QTRY_COMPARE(receiver.value, uint16_t(0xA151));
        QCOMPARE(receiver.slave, uint8_t(0xFE));
        QCOMPARE(receiver.cmd, uint16_t(0xC005));
        QVERIFY(receiver.ranIn == &thread);

        thread.quit();
        thread.wait();
    }
};

QTEST_MAIN(QueuedTypesTest)
#include "tst_queuedtypes.moc"
