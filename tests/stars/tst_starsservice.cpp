// The request service against the in-process simulated gimbal: connection, retries, queue, stop.
#include "DebugCapture.h"
#include "RegisterTable.h"
#include "ServiceRig.h"
#include "StarsCommands.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>
#include <algorithm>
#include <iterator>
#include <QTest>

namespace {

bool tableIsZero()
{
    for (const RegisterEntry &entry : registerTable) {
        if (entry.value.load() != 0)
            return false;
    }
    return true;
}

// A stand-in gimbal that answers every request wrongly twice (another slave, then another
// command) before answering it right with `goodValue`.
class MisleadingResponder : public QObject
{
public:
    MisleadingResponder(StarsLink *link, uint16_t goodValue)
        : link(link)
        , goodValue(goodValue)
    {
        connect(link, &StarsLink::streamOut, this, &MisleadingResponder::answer);
    }

private:
    void answer(const QByteArray &request)
    {
        const uint8_t addr = StarsFrame::address(request);
        const uint16_t cmd = StarsFrame::command(request);
        sendings = (cmd == lastCmd) ? sendings + 1 : 1;
        lastCmd = cmd;
        QByteArray reply;
        if (sendings == 1)
            reply = StarsFrame::encode(uint8_t(addr + 1), cmd, 0xDEAD);
        else if (sendings == 2)
            reply = StarsFrame::encode(addr, uint16_t(cmd + 0x0100), 0xBEEF);
        else
            reply = StarsFrame::encode(addr, cmd, goodValue);
        QMetaObject::invokeMethod(link, "parser", Q_ARG(QByteArray, reply));
    }

    StarsLink *link;
    uint16_t goodValue;
    uint16_t lastCmd = 0xFFFF;
    int sendings = 0;
};

} // namespace

class StarsServiceTest : public QObject
{
    Q_OBJECT

private slots:
    void firstAnsweredPollAnnouncesTheConnectionOnce()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        const qsizetype seen = rig.sentCount();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCount() >= seen + 30, 10000);
        QCOMPARE(rig.connectedEvents, QList<bool>{true});
        // The gimbal lies level: about 1 g on Z, and it reports itself ready.
        QVERIFY(qAbs(registerTable[accZ].signedValue() - 4096) < 100);
        QVERIFY(registerTable[calibStatus].signedValue() < 0);
    }

    void silentGimbalNeverConnectsAndLogsErrorAfterFifteenSendings()
    {
        ServiceRig rig;
        QList<qsizetype> sentAtError;
        DebugCapture capture([&](const QString &line) {
            if (line == QLatin1String("ERROR"))
                sentAtError.append(rig.sentCount());
        });
        rig.device->setSilent(true);
        rig.service.start();
        QTRY_VERIFY_WITH_TIMEOUT(capture.count(QStringLiteral("ERROR")) >= 2, 20000);
        rig.service.stop();
        rig.service.wait();
        QCOMPARE(sentAtError.mid(0, 2), (QList<qsizetype>{15, 30}));
        QCoreApplication::processEvents();
        QVERIFY(rig.connectedEvents.isEmpty());
        QVERIFY(tableIsZero());
    }

    void lostGimbalAnnouncesDisconnectionOnceAndZeroesTheTable()
    {
        ServiceRig rig;
        DebugCapture capture;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(registerTable[calibStatus].value.load() != 0, 10000);
        rig.device->setSilent(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, (QList<bool>{true, false}), 20000);
        QVERIFY(tableIsZero());
        // Further failed polls stay quiet.
        QTRY_VERIFY_WITH_TIMEOUT(capture.count(QStringLiteral("ERROR")) >= 2, 20000);
        QCOMPARE(rig.connectedEvents, (QList<bool>{true, false}));
        QVERIFY(tableIsZero());
    }

    void cancelWhileConnectedIsSilentAndTheNextGoodExchangeReannounces()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        rig.service.onCancel();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents.size(), 2, 10000);
        QCOMPARE(rig.connectedEvents, (QList<bool>{true, true}));
    }

    void queuedRequestGoesBeforeTheNextPoll()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        const uint16_t write = writeCommand(registerTable[calibCommand].code.load());
        const qsizetype before = rig.sentCount();
        rig.service.onTransmit(write, 0, WRITE_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCommand(write), 10000);
        const QList<SentFrame> sent = rig.sent();
        qsizetype at = before;
        while (sent.at(at).cmd != write)
            ++at;
        // At most the poll that was already on its way goes first.
        QVERIFY2(at - before <= 1, qPrintable(QStringLiteral("%1 polls went first").arg(at - before)));
        QTRY_COMPARE_WITH_TIMEOUT(rig.trace, QStringList{QStringLiteral("W 0010 0000")}, 10000);
    }

    void answerFromAnotherSlaveOrForAnotherCommandIsRetried()
    {
        ServiceRig rig(2, false);
        MisleadingResponder responder(&rig.link, 0x0042);
        DebugCapture capture;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(registerTable[motion].value.load() == 0x0042, 10000);
        QVERIFY(capture.count(QStringLiteral("<< try 3")) >= 1);
        QCOMPARE(capture.count(QStringLiteral("ERROR")), 0);
        for (const RegisterEntry &entry : registerTable)
            QVERIFY(entry.value.load() != 0xDEAD);
    }

    void profileTwoAddressesSlaveOneWithTheThirdColumnCodes()
    {
        ServiceRig rig(2);
        rig.service.setRegisterProfile(1); // the gimbal listens at 1, the service starts at 3
        rig.service.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCount() >= 2, 10000);
        QCOMPARE(rig.sent().first().slave, uint8_t(3));
        rig.service.setRegisterProfile(2);
        const qsizetype switched = rig.sentCount();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCount() >= switched + 25, 10000);
        // The exchange on its way keeps its command until it ends; every later frame is new.
        QList<SentFrame> sent = rig.sent();
        const uint16_t inFlight = sent.at(switched - 1).cmd;
        qsizetype first = switched;
        while (sent.at(first).cmd == inFlight)
            ++first;
        sent = sent.mid(first);
        QList<uint16_t> codes;
        for (const SentFrame &frame : sent) {
            QCOMPARE(frame.slave, uint8_t(1));
            if (!codes.contains(frame.cmd))
                codes.append(frame.cmd);
        }
        std::sort(codes.begin(), codes.end());
        const QList<uint16_t> third = {0x0009, 0x0010, 0x0011, 0x0012, 0x001C, 0x001D, 0x001E, 0x001F, 0x0020, 0x0021};
        QCOMPARE(codes, third);
    }

    void saveAndDisableReportTheirOutcome()
    {
        ServiceRig rig;
        DebugCapture capture;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        rig.service.onTransmit(CMD_DISABLE, CMD_DISABLE_VALUE, COMMAND_TIMEOUT_MS);
        rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, COMMAND_TIMEOUT_MS);
        QTRY_COMPARE_WITH_TIMEOUT(rig.saveEvents, QList<bool>{true}, 10000);
        QCOMPARE(rig.disableEvents, QList<bool>{true});
        QCOMPARE(rig.trace, (QStringList{QStringLiteral("C C004 55AA"), QStringLiteral("C C005 A151")}));

        // Unanswered (short time-out to keep the test quick): reported false, logged, link lost.
        rig.device->setSilent(true);
        rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, 20);
        QTRY_COMPARE_WITH_TIMEOUT(rig.saveEvents, (QList<bool>{true, false}), 10000);
        QVERIFY(capture.count(QStringLiteral("list ERROR")) == 1);
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, (QList<bool>{true, false}), 10000);
    }

    // Two saves back to back, the second never answered: when a cancel ends its wait, the
    // frame last received is the first save's answer, which must not pass for the second's.
    void cancelIsNeverTakenForTheAnswerOfTheRequestInFlight()
    {
        ServiceRig rig(2, false);
        int savesAnswered = 0;
        QObject::connect(&rig.link, &StarsLink::streamOut, &rig.context, [&](const QByteArray &frame) {
            if (StarsFrame::command(frame) != CMD_SAVE || savesAnswered++ == 0)
                rig.device->receiveBytes(frame);
        });
        QObject::connect(rig.device.get(), &GimbalDevice::sendBytes, &rig.link, &StarsLink::parser);
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, COMMAND_TIMEOUT_MS);
        rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, WRITE_TIMEOUT_MS);
        QTRY_VERIFY_WITH_TIMEOUT(savesAnswered >= 2, 10000);
        QCOMPARE(rig.saveEvents, QList<bool>{true});
        rig.service.onCancel();
        QTRY_COMPARE_WITH_TIMEOUT(rig.saveEvents, (QList<bool>{true, false}), 10000);
    }

    void suspendedServiceSendsNothingAndServesQueuedRequestsOnResume()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        rig.service.onSuspend(true);
        const uint16_t write = writeCommand(registerTable[workMode].code.load());
        rig.service.onTransmit(write, 2, WRITE_TIMEOUT_MS);
        // At most the sending already on its way leaves; the queued write waits.
        const qsizetype suspendedAt = rig.sentCount();
        QVERIFY(!QTest::qWaitFor([&] { return rig.sentCount() > suspendedAt + 1 || rig.sentCommand(write); }, 300));
        rig.service.onSuspend(false);
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCommand(write), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(rig.device->model().workMode() == 2, 10000);
    }

    // Products switch while exchanges are in flight and requests are queued: every frame that
    // goes out carries the address and a code of one and the same profile.
    void noFrameMixesTwoProfiles()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        QRandomGenerator random(7);
        for (int i = 0; i < 60; ++i) {
            QTest::qWait(random.bounded(40));
            rig.service.onTransmit(writeCommand(registerTable[workMode].code.load()), 2, WRITE_TIMEOUT_MS);
            rig.service.onCancel();
            rig.service.setRegisterProfile(random.bounded(3));
        }
        const int profileOfSlave[4] = {-1, 2, 0, 1}; // slave address -> profile
        for (const SentFrame &frame : rig.sent()) {
            if ((frame.cmd & CMD_KIND_MASK) == CMD_COMMAND_FLAG)
                continue;
            QVERIFY(frame.slave >= 1 && frame.slave <= 3);
            const RegisterProfile *profile = registerProfile(profileOfSlave[frame.slave]);
            const uint16_t code = frame.cmd & CMD_CODE_MASK;
            QVERIFY2(std::find(std::begin(profile->codes), std::end(profile->codes), code) != std::end(profile->codes),
                     qPrintable(QStringLiteral("address %1 with code %2").arg(frame.slave).arg(code, 4, 16, QLatin1Char('0'))));
        }
    }

    // With the port closed and the link down the loop sleeps: no attempt runs until the port
    // opens, and then it polls at once. A request queued meanwhile is still served and fails
    // after its attempts, as its requester expects; a link announced as up when the port closed
    // still goes down through its failed attempts before the loop sleeps again.
    void closedPortPausesThePollsButNotRequestsOrTheLinkGoingDown()
    {
        const QString paused = QStringLiteral("port closed: polling paused");
        ServiceRig rig;
        DebugCapture capture;
        rig.service.setPortOpen(false);
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(capture.count(paused), 1, 5000);

        rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, 20);
        QTRY_COMPARE_WITH_TIMEOUT(rig.saveEvents, QList<bool>{false}, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(capture.count(paused), 2, 5000);
        QCOMPARE(capture.count(QStringLiteral("ERROR")), 0);
        QCOMPARE(rig.sentCount(), 0);

        rig.service.setPortOpen(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 5000);

        // The firmware tab takes the port, the user closes it there and comes back: the link,
        // announced as up, must still be reported down.
        rig.service.onSuspend(true);
        rig.service.setPortOpen(false);
        QTRY_COMPARE_WITH_TIMEOUT(capture.count(QStringLiteral("suspended: polling paused")), 1, 5000);
        rig.service.onSuspend(false);
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, (QList<bool>{true, false}), 10000);
        QVERIFY(tableIsZero());
        QTRY_COMPARE_WITH_TIMEOUT(capture.count(paused), 3, 5000);
    }

    // Frames delivered after the port was closed were read before the close: they neither bring
    // the link back nor refresh the table; the link goes down when the attempts run out.
    void framesReadBeforeThePortClosedNeverCount()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(registerTable[accZ].value.load() != 0, 5000);
        rig.service.setPortOpen(false);
        rig.service.onCancel();

        // A frame read before the close and handed on after it: not stored.
        const uint16_t accZBefore = registerTable[accZ].value.load();
        rig.service.onRecvFrame(StarsFrame::encode(1, registerTable[accZ].code.load(), 0x1234));
        QCOMPARE(registerTable[accZ].value.load(), accZBefore);

        // More of them keep coming, answering every register in turn, so that whatever the
        // exchange in flight waits for is among them: none of them counts as its answer.
        int next = 0;
        QTimer late;
        late.setInterval(5);
        QObject::connect(&late, &QTimer::timeout, &rig.context, [&] {
            rig.service.onRecvFrame(StarsFrame::encode(1, registerTable[next].code.load(), 0x1234));
            next = (next + 1) % RegisterCount;
        });
        late.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, (QList<bool>{true, false}), 10000);
        for (int i = 0; i < RegisterCount; ++i)
            rig.service.onRecvFrame(StarsFrame::encode(1, registerTable[i].code.load(), 0x1234));
        QVERIFY(tableIsZero());
        late.stop();

        rig.service.setPortOpen(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, (QList<bool>{true, false, true}), 10000);
    }

    // A profile change abandons the exchange in flight: that says nothing about the link. A
    // failure reported for it would reach us before the values of the polls that follow.
    void abandonedExchangeIsNoLinkFailure_data()
    {
        QTest::addColumn<bool>("request");
        QTest::newRow("poll in flight") << false;
        QTest::newRow("save in flight") << true;
    }

    void abandonedExchangeIsNoLinkFailure()
    {
        QFETCH(bool, request);
        ServiceRig rig(2, false);
        // The gimbal answers everything but the save command.
        QObject::connect(&rig.link, &StarsLink::streamOut, &rig.context, [&](const QByteArray &frame) {
            if (StarsFrame::command(frame) != CMD_SAVE)
                rig.device->receiveBytes(frame);
        });
        QObject::connect(rig.device.get(), &GimbalDevice::sendBytes, &rig.link, &StarsLink::parser);
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        if (request) {
            rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, COMMAND_TIMEOUT_MS);
            QTRY_VERIFY_WITH_TIMEOUT(rig.sentCommand(CMD_SAVE), 10000);
        } else {
            rig.device->setSilent(true);
            // The second sending after the silence is a retry: that poll is unanswered.
            const qsizetype silentFrom = rig.sentCount();
            QTRY_VERIFY_WITH_TIMEOUT(rig.sentCount() >= silentFrom + 2, 10000);
        }
        rig.service.setRegisterProfile(2); // the same product chosen again: the values are cleared
        rig.device->setSilent(false);
        QTRY_VERIFY_WITH_TIMEOUT(registerTable[accZ].value.load() != 0, 10000);
        QCOMPARE(rig.connectedEvents, QList<bool>{true});
        QCOMPARE(rig.saveEvents, request ? QList<bool>{false} : QList<bool>{});
    }

    // While suspended (the firmware tab has the port) the exchange in flight is abandoned rather
    // than retried into a disconnection nobody asked about; on resume the link is announced again.
    void suspensionReportsNothingAndResumeReannounces()
    {
        ServiceRig rig;
        rig.service.start();
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, QList<bool>{true}, 10000);
        rig.service.onSuspend(true);
        QObject::disconnect(&rig.link, &StarsLink::streamOut, rig.device.get(), &GimbalDevice::receiveBytes);
        // The exchange in flight ends at once: an exchange still running would send again
        // within its 200 ms per attempt, and its failure would follow after fifteen of them.
        const qsizetype sent = rig.sentCount();
        QVERIFY(!QTest::qWaitFor([&] { return rig.sentCount() > sent + 1; }, 500));
        QCOMPARE(rig.connectedEvents, QList<bool>{true});

        QObject::connect(&rig.link, &StarsLink::streamOut, rig.device.get(), &GimbalDevice::receiveBytes);
        rig.service.onSuspend(false);
        // Any report of the abandoned exchange would have come before this announcement.
        QTRY_COMPARE_WITH_TIMEOUT(rig.connectedEvents, (QList<bool>{true, true}), 10000);
    }

    void stopEndsTheLoopPromptlyDuringALongSaveWait()
    {
        ServiceRig rig;
        rig.device->setSilent(true);
        rig.service.onTransmit(CMD_SAVE, CMD_SAVE_VALUE, COMMAND_TIMEOUT_MS);
        rig.service.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCommand(CMD_SAVE), 10000);
        QElapsedTimer clock;
        clock.start();
        rig.service.stop();
        QVERIFY(rig.service.wait(5000));
        // The attempt in flight would wait almost 3 s more for its answer; the stop ends it now.
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QStringLiteral("stopped after %1 ms").arg(clock.elapsed())));
        QCoreApplication::processEvents();
        QVERIFY(rig.saveEvents.isEmpty()); // a stop is not the gimbal's failure
    }

    void stopBeforeTheLoopStartsIsNotLost()
    {
        ServiceRig rig;
        rig.device->setSilent(true);
        rig.service.stop();
        rig.service.start();
        QVERIFY(rig.service.wait(5000));
        // The stop was served: the loop runs again on the next start.
        rig.service.start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.sentCount() >= 1, 10000);
    }
};

QTEST_MAIN(StarsServiceTest)
#include "tst_starsservice.moc"
