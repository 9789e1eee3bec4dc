// Programs recording catalogue sequences at once keep every catalogue's highest sequence.
#include "SequenceStore.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

class SequenceStoreTest : public QObject
{
    Q_OBJECT

private slots:
    // The window and the command line fetching two catalogues at once: neither forgets the
    // other's sequence, which would let that catalogue's old index be served again.
    void programsRecordingAtOnceKeepEveryCatalogue()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("state/sequences.json"));
        // Without the lock about half the entries are lost at this count; each record waits for
        // the disk twice, so more would only slow the test.
        const int count = 40;
        const QStringList names{QStringLiteral("one"), QStringLiteral("two")};
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QString &name : names) {
            writers.push_back(std::make_unique<QProcess>());
            writers.back()->start(QCoreApplication::applicationDirPath() + QStringLiteral("/sequence_writer"),
                                  {path, name, QString::number(count)});
        }
        for (const auto &writer : writers) {
            QVERIFY(writer->waitForFinished(20000));
            QVERIFY2(writer->exitStatus() == QProcess::NormalExit && writer->exitCode() == 0, writer->readAllStandardError().constData());
        }
        const SequenceStore store(path);
        QStringList lost;
        for (const QString &name : names)
            for (int i = 1; i <= count; ++i)
                if (store.highest(QStringLiteral("https://%1.example/%2/").arg(name).arg(i)) != i)
                    lost.append(QStringLiteral("%1/%2").arg(name).arg(i));
        QVERIFY2(lost.isEmpty(), qPrintable(QStringLiteral("%1 lost: %2").arg(lost.size()).arg(lost.mid(0, 5).join(QLatin1Char(' ')))));
    }
};

QTEST_GUILESS_MAIN(SequenceStoreTest)
#include "tst_sequence_store.moc"
