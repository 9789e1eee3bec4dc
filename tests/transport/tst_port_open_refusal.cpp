// Why a port cannot be opened: the reason values, a device reached by two names, the device
// path a name stands for, and a device the user may not use.
#include "PortListener.h"
#include "PtyPair.h"
#include "SerialPort.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using OpenError = SerialPort::OpenError;
Q_DECLARE_METATYPE(SerialPort::OpenError)
Q_DECLARE_METATYPE(QSerialPort::SerialPortError)

namespace {

// A port with its worker thread, as the window and the command line have it.
struct WorkedPort
{
    WorkedPort() : listener(&port) {}
    SerialPort port;
    PortListener listener;
};

void ignoreOpenWarning()
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("cannot open .+")));
}

} // namespace

class PortOpenRefusalTest : public QObject
{
    Q_OBJECT

private slots:
    void failuresMapToTheirReason_data()
    {
        QTest::addColumn<QSerialPort::SerialPortError>("error");
        QTest::addColumn<int>("accessErrno");
        QTest::addColumn<OpenError>("reason");
        QTest::newRow("no such device") << QSerialPort::DeviceNotFoundError << ENOENT << OpenError::NotFound;
        QTest::newRow("mode bits refuse") << QSerialPort::PermissionError << EACCES << OpenError::PermissionDenied;
        QTest::newRow("not permitted") << QSerialPort::PermissionError << EPERM << OpenError::PermissionDenied;
        // Access granted, yet refused: a lock file held or a tty in exclusive use.
        QTest::newRow("lock held") << QSerialPort::PermissionError << 0 << OpenError::InUse;
        QTest::newRow("I/O error") << QSerialPort::OpenError << 0 << OpenError::Other;
        QTest::newRow("unsupported") << QSerialPort::UnsupportedOperationError << 0 << OpenError::Other;
    }
    void failuresMapToTheirReason()
    {
        QFETCH(QSerialPort::SerialPortError, error);
        QFETCH(int, accessErrno);
        QFETCH(OpenError, reason);
        QCOMPARE(SerialPort::classifyOpenFailure(error, accessErrno), reason);
    }

    void aNameStandsForTheDeviceBehindItsLinks()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        PtyPair pty;
        QVERIFY(pty.isValid());
        QCOMPARE(SerialPort::devicePath(pty.slavePath().mid(5)), pty.slavePath()); // "pts/N", as QSerialPort reads it
        const QString first = dir.filePath(QStringLiteral("gimbal"));
        const QString second = dir.filePath(QStringLiteral("alias"));
        QVERIFY(QFile::link(pty.slavePath(), first));
        QVERIFY(::symlink("gimbal", QFile::encodeName(second).constData()) == 0); // relative
        QCOMPARE(SerialPort::devicePath(second), pty.slavePath());
        QCOMPARE(SerialPort::devicePath(dir.filePath(QStringLiteral("missing"))), QString());

        const QString dangling = dir.filePath(QStringLiteral("dangling"));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), dangling));
        QCOMPARE(SerialPort::devicePath(dangling), QString());
        const QString loop = dir.filePath(QStringLiteral("loop"));
        QVERIFY(QFile::link(loop, loop));
        QCOMPARE(SerialPort::devicePath(loop), QString());
    }

    void aMissingPortIsNotFound()
    {
        WorkedPort p;
        p.port.setPortName(QStringLiteral("/nonexistent/velmora-port"));
        ignoreOpenWarning();
        QVERIFY(!p.port.open());
        QCOMPARE(p.port.openError(), OpenError::NotFound);
    }

    // The same device by its own path and by a link, in either order, for root as well: the
    // second opening is refused as in use, and succeeds once the first has closed.
    void twoNamesOfOneDeviceAreOnePort_data()
    {
        QTest::addColumn<bool>("linkFirst");
        QTest::newRow("target held, link refused") << false;
        QTest::newRow("link held, target refused") << true;
    }
    void twoNamesOfOneDeviceAreOnePort()
    {
        QFETCH(bool, linkFirst);
        QTemporaryDir dir;
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QVERIFY(QFile::link(pty.slavePath(), link));

        WorkedPort holder;
        WorkedPort second;
        holder.port.setPortName(linkFirst ? link : pty.slavePath());
        second.port.setPortName(linkFirst ? pty.slavePath() : link);
        QVERIFY(holder.port.open());
        QCOMPARE(holder.port.openError(), OpenError::None);
        ignoreOpenWarning();
        QVERIFY(!second.port.open());
        QVERIFY(!second.port.isOpen());
        QCOMPARE(second.port.openError(), OpenError::InUse);
        QVERIFY(holder.port.isOpen());

        holder.port.close();
        QVERIFY(second.port.open());
        QCOMPARE(second.port.openError(), OpenError::None);
    }

    // Other programs mark a port as theirs in one of two ways: an exclusive flock on the device
    // (terminal programs) or a lock file named after the device (QSerialPort, uucp tools).
    // Either one refuses the port, reached by a link, as in use.
    void aPortAnotherProgramLocksIsInUse_data()
    {
        QTest::addColumn<bool>("byLockFile");
        QTest::newRow("flock on the device") << false;
        QTest::newRow("lock file named after the device") << true;
    }
    void aPortAnotherProgramLocksIsInUse()
    {
        QFETCH(bool, byLockFile);
        QTemporaryDir dir;
        PtyPair pty;
        QVERIFY(pty.isValid());
        const QString link = dir.filePath(QStringLiteral("gimbal"));
        QVERIFY(QFile::link(pty.slavePath(), link));

        QSerialPort lockFileHolder(pty.slavePath());
        int flockHolder = -1;
        if (byLockFile) {
            QVERIFY(lockFileHolder.open(QIODevice::ReadWrite));
        } else {
            flockHolder = ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
            QVERIFY(flockHolder >= 0);
            QVERIFY(::flock(flockHolder, LOCK_EX | LOCK_NB) == 0);
        }
        WorkedPort p;
        p.port.setPortName(link);
        ignoreOpenWarning();
        const bool opened = p.port.open();
        if (flockHolder >= 0)
            ::close(flockHolder);
        QVERIFY(!opened);
        QCOMPARE(p.port.openError(), OpenError::InUse);
    }

    // Root passes every permission check, so this one needs an ordinary user: run as root, the
    // test runs it again in this program as nobody.
    void aDeviceTheUserMayNotUseIsPermissionDenied()
    {
        if (::geteuid() == 0) {
            const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
            if (setpriv.isEmpty())
                QSKIP("running as root without setpriv: no way to be a user the device refuses");
            QProcess child;
            child.start(setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"),
                                  QStringLiteral("--"), QCoreApplication::applicationFilePath(),
                                  QStringLiteral("aDeviceTheUserMayNotUseIsPermissionDenied")});
            QVERIFY(child.waitForFinished(60000));
            const QByteArray output = child.readAllStandardOutput();
            QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, output.constData());
            QVERIFY2(output.contains("PASS   : PortOpenRefusalTest::aDeviceTheUserMayNotUseIsPermissionDenied()"), output.constData());
            return;
        }
        PtyPair pty;
        QVERIFY(pty.isValid());
        QVERIFY(::chmod(QFile::encodeName(pty.slavePath()).constData(), 0) == 0);
        WorkedPort p;
        p.port.setPortName(pty.slavePath());
        ignoreOpenWarning();
        QVERIFY(!p.port.open());
        QCOMPARE(p.port.openError(), OpenError::PermissionDenied);
    }
};

QTEST_GUILESS_MAIN(PortOpenRefusalTest)
#include "tst_port_open_refusal.moc"
