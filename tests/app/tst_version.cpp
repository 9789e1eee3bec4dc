// Every program answers --version with the one version of the build, and needs no display for it.
#include "VelmoraVersion.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class TestVersion : public QObject
{
    Q_OBJECT

private slots:
    void answersVersion_data();
    void answersVersion();
};

void TestVersion::answersVersion_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("velmora") << QStringLiteral("velmora");
    QTest::newRow("velmora-cli") << QStringLiteral("velmora-cli");
    QTest::newRow("velmora-ptz") << QStringLiteral("velmora-ptz");
    QTest::newRow("velmora-gimbal-sim") << QStringLiteral("velmora-gimbal-sim");
}

void TestVersion::answersVersion()
{
    QFETCH(QString, program);
    QString dir = qEnvironmentVariable("VELMORA_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();

    // No display at all, and a platform that needs one: a program that built its QApplication
    // before looking at --version ends at start-up instead of answering.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QDir(dir).filePath(program), {QStringLiteral("--version")});
    QVERIFY2(process.waitForStarted(10000), qPrintable(process.errorString()));
    QVERIFY(process.waitForFinished(30000));
    const QByteArray errors = process.readAllStandardError();
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY2(process.exitCode() == 0, errors.constData());
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()),
             program + QStringLiteral(" " VELMORA_VERSION "\n"));
    QCOMPARE(errors, QByteArray());
}

QTEST_GUILESS_MAIN(TestVersion)
#include "tst_version.moc"
