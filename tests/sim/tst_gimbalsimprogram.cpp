// The velmora-gimbal-sim program: announces its port, answers over the pseudo-terminal, cleans up.
#include "StarsFrame.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString simulatorPath()
{
    return qEnvironmentVariable("VELMORA_BIN_DIR") + QStringLiteral("/velmora-gimbal-sim");
}

// Reads stdout lines until one starts with `prefix`; returns the rest of that line.
QString waitForLine(QProcess &process, const QString &prefix, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine()).trimmed();
            if (line.startsWith(prefix))
                return line.mid(prefix.size());
        }
        process.waitForReadyRead(100);
    }
    return {};
}

// Writes `request` to the port and collects what comes back within the time-out.
QByteArray exchange(int fd, const QByteArray &request, qsizetype expected, int timeoutMs)
{
    if (::write(fd, request.constData(), size_t(request.size())) != request.size())
        return {};
    QByteArray answer;
    QElapsedTimer clock;
    clock.start();
    while (answer.size() < expected && clock.elapsed() < timeoutMs) {
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            answer.append(buffer, qsizetype(n));
        else
            QThread::msleep(1);
    }
    return answer;
}

int openRaw(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return fd;
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
    return fd;
}

} // namespace

class GimbalSimProgramTest : public QObject
{
    Q_OBJECT

private slots:
    void announcesItsPortAnswersAndRemovesTheLinkOnTerminate()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QProcess sim;
        sim.start(simulatorPath(), {QStringLiteral("--link"), link, QStringLiteral("--trace"), QStringLiteral("--profile"), QStringLiteral("1")});
        QVERIFY2(sim.waitForStarted(10000), qPrintable(sim.errorString()));
        QCOMPARE(waitForLine(sim, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), link);
        QVERIFY(QFileInfo(link).isSymLink());

        // Opened, closed and opened again: the simulator keeps answering.
        for (int round = 0; round < 2; ++round) {
            const int fd = openRaw(link);
            QVERIFY(fd >= 0);
            const QByteArray answer = exchange(fd, StarsFrame::encode(3, 0x0054, 0), 7, 5000);
            QCOMPARE(answer.size(), 7);
            QCOMPARE(StarsFrame::command(answer), uint16_t(0x0054));
            QVERIFY(qAbs(int16_t(StarsFrame::value(answer)) - 4096) < 100);
            const QByteArray echo = exchange(fd, StarsFrame::encode(3, 0x8020, 2), 7, 5000);
            QCOMPARE(echo, StarsFrame::encode(3, 0x8020, 2));
            ::close(fd);
        }
        QCOMPARE(waitForLine(sim, QStringLiteral("W "), 5000), QStringLiteral("0020 0002"));

        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void refusesInvalidOptions()
    {
        QProcess sim;
        sim.start(simulatorPath(), {QStringLiteral("--profile"), QStringLiteral("5")});
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
    }
};

QTEST_MAIN(GimbalSimProgramTest)
#include "tst_gimbalsimprogram.moc"
