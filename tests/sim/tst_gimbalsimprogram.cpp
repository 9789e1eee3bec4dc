// The velmora-gimbal-sim program: announces its port, answers over the pseudo-terminal, cleans up.
#include "BootloaderFrame.h"
#include "PtzFile.h"
#include "RegisterTable.h"
#include "StarsFrame.h"
#include "crc16.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
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
        sim.start(simulatorPath(), {QStringLiteral("--link"), link, QStringLiteral("--trace"), QStringLiteral("--profile"), QStringLiteral("1"),
                                      QStringLiteral("--calibrated")});
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
        // Nothing of it is left beside the link.
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot), QStringList());
    }

    // The sensor's start and faults as the options set them: level and at rest, accZ is off
    // by 0.04 g (164 counts) or more until calibrated; never-still moves above the limit.
    void sensorOptionsReachTheGimbal()
    {
        const QList<QPair<QStringList, QList<bool>>> rows{{{}, {false, true}},
                                                          {{QStringLiteral("--calibrated")}, {true, true}},
                                                          {{QStringLiteral("--imu-fault"), QStringLiteral("never-still")}, {false, false}}};
        for (const auto &[arguments, calibratedAndStill] : rows) {
            QTemporaryDir dir;
            QProcess sim;
            sim.start(simulatorPath(), QStringList{QStringLiteral("--link"), dir.filePath(QStringLiteral("g"))} + arguments);
            QCOMPARE(waitForLine(sim, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), dir.filePath(QStringLiteral("g")));
            const int fd = openRaw(dir.filePath(QStringLiteral("g")));
            const RegisterProfile &codes = *registerProfile(2);
            const int16_t z = int16_t(StarsFrame::value(exchange(fd, StarsFrame::encode(codes.slaveAddress, codes.codes[accZ], 0), 7, 5000)));
            const int16_t m = int16_t(StarsFrame::value(exchange(fd, StarsFrame::encode(codes.slaveAddress, codes.codes[motion], 0), 7, 5000)));
            ::close(fd);
            QVERIFY2(calibratedAndStill[0] ? qAbs(z - 4096) < 40 : qAbs(z - 4096) > 150, qPrintable(arguments.join(' ')));
            QCOMPARE(qAbs(m) <= 30, calibratedAndStill[1]); // the stillness limit
        }
    }

    void refusesInvalidOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("profile") << QStringList{QStringLiteral("--profile"), QStringLiteral("5")};
        QTest::newRow("role") << QStringList{QStringLiteral("--role"), QStringLiteral("firmware")};
        QTest::newRow("too many chips") << QStringList{QStringLiteral("--chips"), QStringLiteral("16")};
        QTest::newRow("chips and hardware disagree")
            << QStringList{QStringLiteral("--chips"), QStringLiteral("3"), QStringLiteral("--hardware"), QStringLiteral("1,2")};
        QTest::newRow("hardware code") << QStringList{QStringLiteral("--hardware"), QStringLiteral("0x10000")};
        QTest::newRow("page size") << QStringList{QStringLiteral("--page-size"), QStringLiteral("0")};
        QTest::newRow("page write time") << QStringList{QStringLiteral("--page-write-ms"), QStringLiteral("-1")};
        QTest::newRow("stray bytes") << QStringList{QStringLiteral("--stray-bytes"), QStringLiteral("-5")};
        QTest::newRow("missing package") << QStringList{QStringLiteral("--match"), QStringLiteral("/nonexistent.ptz")};
        QTest::newRow("device as package") << QStringList{QStringLiteral("--preload"), QStringLiteral("/dev/zero")};
        QTest::newRow("not a package") << QStringList{QStringLiteral("--preload"), QStringLiteral("/etc/hostname")};
        QTest::newRow("sensor fault") << QStringList{QStringLiteral("--imu-fault"), QStringLiteral("drifting")};
    }
    void refusesInvalidOptions()
    {
        QFETCH(QStringList, arguments);
        QProcess sim;
        sim.start(simulatorPath(), arguments);
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY(!sim.readAllStandardError().isEmpty());
    }

    void bootloaderTakesItsChipsAndFlashFromAPackage()
    {
        QTemporaryDir dir;
        PtzFile builder;
        builder.addImage(0x0A01, 101, QByteArray(3000, 'x'));
        builder.addImage(0x0A02, 102, QByteArray(100, 'y'));
        builder.addImage(0x0A03, 103, QByteArray(16, 'z'));
        const QString package = dir.filePath(QStringLiteral("three.ptz"));
        QFile file(package);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(builder.build(1, 0x0200, 0x7788, 3));
        file.close();

        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QProcess sim;
        sim.start(simulatorPath(), {QStringLiteral("--link"), link, QStringLiteral("--role"), QStringLiteral("bootloader"),
                                    QStringLiteral("--multi-chip"), QStringLiteral("--match"), package,
                                    QStringLiteral("--preload"), package, QStringLiteral("--trace"),
                                    QStringLiteral("--handover-ms"), QStringLiteral("0")});
        QVERIFY2(sim.waitForStarted(10000), qPrintable(sim.errorString()));
        QCOMPARE(waitForLine(sim, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), link);
        const int fd = openRaw(link);
        QVERIFY(fd >= 0);
        BootloaderFrameParser parser;
        for (int chip = 1; chip <= 3; ++chip) {
            if (chip == 2) // addresses 2 and up answer only after NEXT to the first chip
                QCOMPARE(parser.feed(exchange(fd, BootloaderFrame::encode(QByteArray::fromHex("1400")), 8, 5000)).size(), 1);
            const ptzImage &image = builder.header().images[chip - 1];
            const QByteArray info = BootloaderFrame::encode(QByteArray(1, char(chip * 16 + 1)) + char(0));
            const QList<QByteArray> record = parser.feed(exchange(fd, info, 28, 5000));
            QCOMPARE(record.size(), 1);
            QCOMPARE(uint8_t(record[0][12]) | uint8_t(record[0][13]) << 8, 0x7788);
            QCOMPARE(uint8_t(record[0][14]) | uint8_t(record[0][15]) << 8, int(image.hardware));
            // The preloaded image is what the chip's flash starts with.
            const uint32_t n = uint32_t(image.data.size());
            QByteArray readCrc(1, char(chip * 16 + 3));
            readCrc += char(0);
            for (int shift = 0; shift < 32; shift += 8)
                readCrc += char((n >> shift) & 0xFF);
            const QList<QByteArray> crc = parser.feed(exchange(fd, BootloaderFrame::encode(readCrc), 10, 5000));
            QCOMPARE(crc.size(), 1);
            QCOMPARE(uint16_t(uint8_t(crc[0][2]) | uint8_t(crc[0][3]) << 8), image.crc);
        }
        // No fourth chip.
        QVERIFY(exchange(fd, BootloaderFrame::encode(QByteArray::fromHex("4100")), 1, 300).isEmpty());
        ::close(fd);
        QCOMPARE(waitForLine(sim, QStringLiteral("B READ_CRC 3"), 5000), QStringLiteral(" 16"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
    }

    // A second simulator asked for the link of a running one fails and leaves it alone: the
    // link still leads to the first, which still answers, and is still there after the second
    // has gone.
    void aLinkARunningSimulatorHoldsIsLeftAlone()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QProcess first;
        first.start(simulatorPath(), {QStringLiteral("--link"), link, QStringLiteral("--profile"), QStringLiteral("1")});
        QCOMPARE(waitForLine(first, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), link);
        const QString target = QFileInfo(link).symLinkTarget();

        QProcess second;
        second.start(simulatorPath(), {QStringLiteral("--link"), link});
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 1);
        QVERIFY(second.readAllStandardError().contains("belongs to another running simulator"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        const int fd = openRaw(link);
        QVERIFY(fd >= 0);
        QCOMPARE(exchange(fd, StarsFrame::encode(3, 0x8020, 2), 7, 5000), StarsFrame::encode(3, 0x8020, 2));
        ::close(fd);

        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // Without --link, a simulator whose default link a running one holds takes the next
    // numbered name; each removes only its own link when it ends.
    void theDefaultLinkOfARunningSimulatorGetsANumberedNeighbour()
    {
        QTemporaryDir dir;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), dir.path());
        QProcess first;
        QProcess second;
        first.setProcessEnvironment(environment);
        second.setProcessEnvironment(environment);
        const QString link = dir.filePath(QStringLiteral("velmora-gimbal"));
        first.start(simulatorPath(), {});
        QCOMPARE(waitForLine(first, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), link);
        const QString target = QFileInfo(link).symLinkTarget();
        second.start(simulatorPath(), {});
        QCOMPARE(waitForLine(second, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), link + QStringLiteral("-2"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);

        second.terminate();
        QVERIFY(second.waitForFinished(10000));
        QVERIFY(!QFileInfo(link + QStringLiteral("-2")).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        first.terminate();
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    // A link left by a simulator that is gone is taken over; a link pointed elsewhere while
    // the simulator runs is someone else's and stays when it ends.
    void aStaleLinkIsTakenAndAnotherOnesLinkIsKept()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QVERIFY(QFile::link(QStringLiteral("/dev/pts/velmora-gone"), link));
        QProcess sim;
        sim.start(simulatorPath(), {QStringLiteral("--link"), link});
        QCOMPARE(waitForLine(sim, QStringLiteral("VELMORA_VIRTUAL_PORTS="), 10000), link);
        QVERIFY(QFileInfo(link).symLinkTarget().startsWith(QLatin1String("/dev/pts/")));
        QVERIFY(QFileInfo(link).exists());

        QVERIFY(QFile::remove(link));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), link));
        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(QFileInfo(link).symLinkTarget(), QStringLiteral("/dev/null"));
    }
};

QTEST_MAIN(GimbalSimProgramTest)
#include "tst_gimbalsimprogram.moc"
