// Carries port operations into the port's thread and closes the port when its device goes away.
#include "SerialPort.h"

#include "TransportLog.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>
#include <QThread>
#include <cerrno>
#include <climits>
#include <type_traits>

#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

SerialPort::SerialPort(QObject *parent)
    : QObject(parent)
    , serial(new QSerialPort(this))
{
    connect(serial, &QSerialPort::errorOccurred, this, &SerialPort::onErrorOccurred);
}

void SerialPort::setPortName(const QString &newName)
{
    QMutexLocker lock(&nameMutex);
    name = newName;
}

QString SerialPort::portName() const
{
    QMutexLocker lock(&nameMutex);
    return name;
}

// The hand-over. A blocking queued call into a thread that is not running would never return,
// so the call runs directly when no running thread could serve it:
// - the port's thread object is gone: the caller adopts the port (Qt lets an object without
//   a thread be pulled into the current one);
// - the thread still exists but has stopped: nothing else can touch the port any more, but
//   it cannot be adopted either, so an open from here leaves QSerialPort's notifiers in the
//   caller's thread (Qt warns). The port worker never leaves the port in that state.
// A thread that is being stopped concurrently with a call is not guarded against; the port
// worker hands the port back to the destroying thread before its own thread stops.
template <typename Job>
auto SerialPort::runInPortThread(Job job) -> std::invoke_result_t<Job>
{
    QThread *owner = thread();
    if (owner == QThread::currentThread())
        return job();
    if (!owner) {
        moveToThread(QThread::currentThread());
        return job();
    }
    if (!owner->isRunning())
        return job();

    using Result = std::invoke_result_t<Job>;
    if constexpr (std::is_void_v<Result>) {
        QMetaObject::invokeMethod(this, job, Qt::BlockingQueuedConnection);
    } else {
        Result result{};
        QMetaObject::invokeMethod(this, job, Qt::BlockingQueuedConnection, &result);
        return result;
    }
}

bool SerialPort::open()
{
    return runInPortThread([this] { return openHere(); });
}

void SerialPort::close()
{
    runInPortThread([this] { closeHere(); });
}

QString SerialPort::devicePath(const QString &name)
{
    // As QSerialPort reads a name: a path when it starts like one, otherwise a name under /dev.
    const bool isPath = name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./"))
                        || name.startsWith(QLatin1String("../"));
    QString path = isPath ? name : QStringLiteral("/dev/") + name;
    // Followed link by link rather than with realpath(): a device testbed that redirects /dev
    // answers readlink() but not realpath(). The hop limit is the kernel's own.
    for (int hops = 0; hops < 40; ++hops) {
        const QByteArray encoded = QFile::encodeName(path);
        struct stat info{};
        if (::lstat(encoded.constData(), &info) != 0)
            return QString();
        if (!S_ISLNK(info.st_mode))
            return QDir::cleanPath(path);
        char target[PATH_MAX];
        const ssize_t length = ::readlink(encoded.constData(), target, sizeof target);
        if (length <= 0 || size_t(length) >= sizeof target)
            return QString();
        const QString next = QFile::decodeName(QByteArray(target, qsizetype(length)));
        path = QDir::isAbsolutePath(next) ? next : path.left(path.lastIndexOf(QLatin1Char('/')) + 1) + next;
    }
    return QString();
}

SerialPort::OpenError SerialPort::classifyOpenFailure(QSerialPort::SerialPortError error, int accessErrno)
{
    if (error == QSerialPort::DeviceNotFoundError)
        return OpenError::NotFound;
    if (accessErrno == EACCES || accessErrno == EPERM || accessErrno == EROFS)
        return OpenError::PermissionDenied;
    // With access granted, QSerialPort's permission error is a held lock file or a tty in
    // exclusive use (EBUSY): someone else has the port.
    if (error == QSerialPort::PermissionError)
        return OpenError::InUse;
    return OpenError::Other;
}

bool SerialPort::refuseOpen(OpenError reason, const QString &target, const QString &why)
{
    lastOpenError.store(reason, std::memory_order_release);
    qCWarning(lcTransport, "SerialPort: cannot open \"%s\": %s", qPrintable(target), qPrintable(why));
    return false;
}

bool SerialPort::openHere()
{
    if (serial->isOpen())
        return true;

    const QString target = portName();
    // The port is opened under the device's own path, so that two names of one device (a
    // link and its target) meet on one QSerialPort lock file.
    const QString device = devicePath(target);
    if (device.isEmpty())
        return refuseOpen(OpenError::NotFound, target, QStringLiteral("no such device"));
    serial->setPortName(device);
    serial->setBaudRate(QSerialPort::Baud115200);
    serial->setDataBits(QSerialPort::Data8);
    serial->setParity(QSerialPort::NoParity);
    serial->setStopBits(QSerialPort::OneStop);
    serial->setFlowControl(QSerialPort::NoFlowControl);
    // QSerialPort refuses QIODevice::Unbuffered; the port worker drains its buffer at every
    // readyRead and pushes every write out at once, so the buffering adds no delay.
    if (!serial->open(QIODevice::ReadWrite)) {
        const QString why = serial->errorString();
        const int accessErrno = ::access(QFile::encodeName(device).constData(), R_OK | W_OK) == 0 ? 0 : errno;
        return refuseOpen(classifyOpenFailure(serial->error(), accessErrno), target, why);
    }
    // Programs that keep a serial port take an exclusive flock on it, and so do we: it holds
    // across processes and for root, which the tty's exclusive mode does not stop, and it
    // belongs to the device whatever name reached it. A device that cannot be locked at all
    // is used unlocked rather than refused.
    if (::flock(int(serial->handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        closing = true;
        serial->close();
        closing = false;
        return refuseOpen(OpenError::InUse, target, QStringLiteral("another program holds a lock on the device"));
    }
    // Whatever arrived before the port was opened belongs to no request of ours.
    serial->clear(QSerialPort::Input);
    serial->readAll();
    lastOpenError.store(OpenError::None, std::memory_order_release);
    generation.fetch_add(1, std::memory_order_acq_rel);
    openMirror.store(true, std::memory_order_release);
    return true;
}

void SerialPort::closeHere()
{
    if (serial->isOpen() && !closing) {
        closing = true;
        serial->close();
        closing = false;
    }
    openMirror.store(false, std::memory_order_release);
}

// Runs in the port's thread. An open port whose device is gone keeps raising errors for as
// long as it stays open, so it is closed at the first one.
void SerialPort::onErrorOccurred(QSerialPort::SerialPortError error)
{
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!serial->isOpen() || closing)
        return;
    if (isLineFull(error)) {
        serial->clearError();
        return;
    }
    const QString reason = serial->errorString();
    // Named as the user named it: the device behind a link means nothing to them.
    qCWarning(lcTransport, "SerialPort: \"%s\" lost: %s", qPrintable(portName()), qPrintable(reason));
    closeHere();
    emit closedUnexpectedly(reason, openGeneration());
}

// A line that cannot take more bytes answers a write with "try again", which QSerialPort reports
// as a resource error, like a vanished device. It keeps the unsent bytes and sends them once the
// line has room, so nothing is lost and the port must stay open.
bool SerialPort::isLineFull(QSerialPort::SerialPortError error) const
{
    return error == QSerialPort::ResourceError && serial->bytesToWrite() > 0
           && serial->errorString() == qt_error_string(EAGAIN);
}
