// An attempt's record is built once, from a typed ending: the outcome word, the end command,
// the chips' results and the firmware written all follow from values, never from patched words.
#include "Attempts.h"
#include "PackageSignature.h"

#include <QtTest>

namespace {

chipInfo chip(uint32_t cpuid, uint16_t firmware)
{
    chipInfo c;
    c.address = 1;
    c.cpuid = cpuid;
    c.hardware = 0x0101;
    c.firmware = firmware;
    return c;
}

UpdateOutcome step(UpdateOutcome::Reason reason, int chipNumber, uint16_t firmware = 0)
{
    UpdateOutcome o;
    o.reason = reason;
    o.chip = chipNumber;
    o.firmware = firmware;
    return o;
}

} // namespace

class AttemptsTest : public QObject
{
    Q_OBJECT

private slots:
    void anUpdateRecordFollowsItsEnding_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("engine"); // -1: the engine reported no end
        QTest::addColumn<int>("endCommand");
        QTest::addColumn<int>("check");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("recordedEnd");
        QTest::addColumn<QString>("secondChip");
        using K = UpdateEnding::Kind;
        const int run = UpdateOutcome::RunSent, restart = UpdateOutcome::RestartSent, none = UpdateOutcome::NoEndCommand;
        QTest::newRow("written") << int(K::Engine) << int(UpdateOutcome::Success) << run << int(BootCheck::NotChecked)
                                 << "success" << "run" << "written";
        QTest::newRow("written and seen running") << int(K::Engine) << int(UpdateOutcome::Success) << run
                                                  << int(BootCheck::Running) << "success" << "run" << "written";
        QTest::newRow("written, new firmware silent") << int(K::Engine) << int(UpdateOutcome::Success) << run
                                                      << int(BootCheck::NoAnswer) << "not-running" << "run" << "written";
        QTest::newRow("written, new firmware implausible") << int(K::Engine) << int(UpdateOutcome::Success) << run
                                                           << int(BootCheck::Implausible) << "not-running" << "run" << "written";
        QTest::newRow("written, check cancelled") << int(K::Engine) << int(UpdateOutcome::Success) << run
                                                  << int(BootCheck::Cancelled) << "cancelled" << "run" << "written";
        QTest::newRow("second chip failed") << int(K::Engine) << int(UpdateOutcome::WriteFailed) << restart
                                            << int(BootCheck::NotChecked) << "write-failed" << "restart" << "failed";
        QTest::newRow("port lost mid-write") << int(K::PortLost) << int(UpdateOutcome::Cancelled) << restart
                                             << int(BootCheck::NotChecked) << "port-lost" << "" << "failed";
        QTest::newRow("port lost after the write") << int(K::PortLost) << int(UpdateOutcome::Success) << run
                                                   << int(BootCheck::NotChecked) << "success" << "run" << "written";
        QTest::newRow("cancelled while waiting") << int(K::Cancelled) << -1 << none << int(BootCheck::NotChecked)
                                                 << "cancelled" << "" << "not-reached";
        QTest::newRow("port unavailable") << int(K::PortUnavailable) << -1 << none << int(BootCheck::NotChecked)
                                          << "port-unavailable" << "" << "not-reached";
    }
    void anUpdateRecordFollowsItsEnding()
    {
        QFETCH(int, kind);
        QFETCH(int, engine);
        QFETCH(int, endCommand);
        QFETCH(int, check);
        QFETCH(QString, outcome);
        QFETCH(QString, recordedEnd);
        QFETCH(QString, secondChip);
        UpdateAttempt attempt(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("SN1"), 0);
        const bool listed = engine >= 0;
        if (listed) {
            attempt.onChipsListed({chip(0x11, 100), chip(0x22, 100)});
            attempt.onStep(step(UpdateOutcome::PackageImage, 1, 105));
            attempt.onStep(step(UpdateOutcome::PackageImage, 2, 106));
            attempt.onStep(step(UpdateOutcome::WritingChip, 1));
            attempt.onStep(step(UpdateOutcome::WritingChip, 2));
        }
        UpdateEnding ending{UpdateEnding::Kind(kind), std::nullopt};
        if (listed) {
            UpdateOutcome end = step(UpdateOutcome::Reason(engine), engine == UpdateOutcome::Success ? 0 : 2);
            end.endCommand = UpdateOutcome::EndCommand(endCommand);
            end.pagesWritten = 7;
            ending.engine = end;
        }
        const JournalRecord record = attempt.finish(ending, BootCheck(check));
        QCOMPARE(record.outcome, outcome);
        QCOMPARE(record.endCommand, recordedEnd);
        QCOMPARE(record.checkResult, UpdateAttempt::checkName(BootCheck(check)));
        QVERIFY(record.ended >= record.started);
        if (!listed) {
            QVERIFY(record.chips.isEmpty());
            return;
        }
        QCOMPARE(record.pagesWritten, 7);
        QCOMPARE(record.chips.at(1).result, secondChip);
        // The firmware a chip went to is the package's image, never what it held before.
        QCOMPARE(record.chips.at(0).firmwareBefore, 100);
        QCOMPARE(record.chips.at(0).firmwareAfter, 105);
        QCOMPARE(record.chips.at(1).firmwareAfter, 106);
        QCOMPARE(record.failedChip, engine == UpdateOutcome::Success ? 0 : 2);
    }

    // A package refused for its signature leaves a record of what was refused and by which key,
    // with the signature's own word as the outcome, and no chips: no port was opened.
    void aRefusedPackageIsRecordedWithItsSignaturesWord_data()
    {
        QTest::addColumn<int>("refusal");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("keyId");
        QTest::newRow("unsigned") << int(UpdateEnding::Refusal::Unsigned) << int(SignatureCheck::State::Unsigned) << "";
        QTest::newRow("damaged signature") << int(UpdateEnding::Refusal::SignatureInvalid)
                                           << int(SignatureCheck::State::Invalid) << "754323FEF3D07DC8";
        QTest::newRow("untrusted key") << int(UpdateEnding::Refusal::UntrustedKey) << int(SignatureCheck::State::UntrustedKey)
                                       << "0123456789ABCDEF";
    }
    void aRefusedPackageIsRecordedWithItsSignaturesWord()
    {
        QFETCH(int, refusal);
        QFETCH(int, state);
        QFETCH(QString, keyId);
        UpdateAttempt attempt(QString(), QString(), 4);
        const QString sha256 = QStringLiteral("2e547448dcd0f2fcd9dbc386d33f1553369883451898177559bcf3e3b1083d16");
        attempt.setPackage(QStringLiteral("/srv/line/k5-1.05.ptz"), 13, sha256);
        const QString stateWord = SignatureCheck::stateName(SignatureCheck::State(state));
        attempt.setSignature(stateWord, keyId);
        const JournalRecord record = attempt.finish(UpdateEnding::refused(UpdateEnding::Refusal(refusal)));
        // The journal's word is the one the command line's refusal says.
        QCOMPARE(record.outcome, stateWord);
        QCOMPARE(record.signature, stateWord);
        QCOMPARE(record.signatureKey, keyId);
        QCOMPARE(record.packageName, QStringLiteral("k5-1.05.ptz"));
        QCOMPARE(record.packageSize, qint64(13));
        QCOMPARE(record.packageSha256, sha256);
        QVERIFY(record.chips.isEmpty());
        QCOMPARE(record.pagesWritten, 0);
        QCOMPARE(record.endCommand, QString());
        QVERIFY(JournalWords::outcomes().contains(record.outcome));
    }

    // Every word an ending can give is a word `journal --outcome` takes, and nothing else is.
    void theOutcomeWordsAreTheEndingsWords()
    {
        const QStringList words = JournalWords::outcomes();
        QSet<QString> made;
        for (int reason = UpdateOutcome::Success; reason <= UpdateOutcome::WriteFailed; ++reason) {
            UpdateOutcome end;
            end.reason = UpdateOutcome::Reason(reason);
            for (int kind = 0; kind <= int(UpdateEnding::Kind::PortUnavailable); ++kind)
                for (int check = 0; check <= int(BootCheck::Cancelled); ++check)
                    made.insert(UpdateAttempt::outcomeWord({UpdateEnding::Kind(kind), end}, BootCheck(check)));
        }
        for (int why = 0; why <= int(UpdateEnding::Refusal::Invalid); ++why)
            made.insert(UpdateAttempt::outcomeWord(UpdateEnding::refused(UpdateEnding::Refusal(why))));
        for (int why = 0; why <= int(CatalogueReason::Older); ++why)
            made.insert(UpdateAttempt::outcomeWord(UpdateEnding::refusedByCatalogue(CatalogueReason(why))));
        for (int reason = CalibrationOutcome::Success; reason <= CalibrationOutcome::CheckFailed; ++reason)
            for (int kind = 0; kind <= int(CalibrationEnding::Kind::PortUnavailable); ++kind) {
                CalibrationOutcome run;
                run.reason = CalibrationOutcome::Reason(reason);
                made.insert(CalibrationAttempt::outcomeWord({CalibrationEnding::Kind(kind), run}));
                made.insert(CalibrationAttempt::outcomeWord({CalibrationEnding::Kind(kind), std::nullopt}));
            }
        for (int reason = CheckOutcome::Passed; reason <= CheckOutcome::Cancelled; ++reason)
            for (int kind = 0; kind <= int(CheckEnding::Kind::PortUnavailable); ++kind) {
                CheckOutcome check;
                check.reason = CheckOutcome::Reason(reason);
                made.insert(CheckAttempt::outcomeWord({CheckEnding::Kind(kind), check}));
            }
        QCOMPARE(QSet<QString>(words.cbegin(), words.cend()), made);
        QCOMPARE(words.size(), made.size());
        for (const char *word : {"success", "not-running", "no-answer", "port-lost", "step-failed", "signature-untrusted-key"})
            QVERIFY2(words.contains(QLatin1String(word)), word);
    }
};

QTEST_MAIN(AttemptsTest)
#include "tst_attempts.moc"
