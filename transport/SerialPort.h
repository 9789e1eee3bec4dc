// The serial port used by the port worker: a QSerialPort that lives in the worker's thread,
// with open/close/name operations that any thread may call.
#pragma once

#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <atomic>
#include <type_traits>

// QSerialPort may only be used from the thread it lives in. SerialPort owns one as a child,
// so both move together into the port worker's thread; every operation called from another
// thread is carried into that thread and waits there for its result (see runInPortThread).
class SerialPort : public QObject
{
    Q_OBJECT

public:
    // Why the last open() failed. The faces turn it into words.
    enum class OpenError {
        None,             // the last open succeeded (or none was tried)
        NotFound,         // no such port
        PermissionDenied, // the user may not use the device
        InUse,            // another program (or another name of the same device) holds it
        Other,            // the port exists but refused for another reason
    };

    // Created without a parent, so that the port worker can move it into its thread.
    explicit SerialPort(QObject *parent = nullptr);

    void setPortName(const QString &name);
    QString portName() const;

    // Opens read-write at 115200 8N1 without flow control and discards everything already
    // pending in the input. Refuses a device that another program holds, whatever name it is
    // reached by, also for root. Logs the reason when it fails; openError() tells it.
    bool open();
    void close();

    OpenError openError() const { return lastOpenError.load(std::memory_order_acquire); }

    // The device a port name stands for: "ttyUSB0" is /dev/ttyUSB0, a path is followed
    // through its symbolic links. Empty when it does not exist.
    static QString devicePath(const QString &name);
    // The reason for a failed open from QSerialPort's error and access()'s errno for the
    // device (0 when access would be granted; root is always granted).
    static OpenError classifyOpenFailure(QSerialPort::SerialPortError error, int accessErrno);

    // Cheap and callable from any thread: a mirror kept by the port's own thread.
    bool isOpen() const { return openMirror.load(std::memory_order_acquire); }

    // The number of the current opening, or of the last one while closed: every successful
    // open counts one up, starting at 1; 0 means never opened. A loss notice carries the
    // number of the opening it belongs to, so that a notice arriving after the port was closed
    // and opened again can be told apart from one about the new opening.
    quint64 openGeneration() const { return generation.load(std::memory_order_acquire); }

    // The underlying port, for the port worker; use it only from the port's thread.
    QSerialPort *device() { return serial; }

signals:
    // The device went away under an open port. The port is already closed when this is
    // emitted, and it is emitted once per such loss; `generation` is the openGeneration() of
    // the opening that was lost. A receiver may take the reason alone.
    void closedUnexpectedly(const QString &reason, quint64 generation);

private:
    bool openHere();
    bool refuseOpen(OpenError reason, const QString &target, const QString &why);
    void closeHere();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    bool isLineFull(QSerialPort::SerialPortError error) const;

    // Runs `job` in the port's thread and returns its result.
    template <typename Job>
    auto runInPortThread(Job job) -> std::invoke_result_t<Job>;

    QSerialPort *serial;
    mutable QMutex nameMutex;
    QString name;
    std::atomic<bool> openMirror{false};
    std::atomic<quint64> generation{0};
    std::atomic<OpenError> lastOpenError{OpenError::None};
    // Set while the port is being closed: errors raised by the close itself (a vanished
    // device refuses to take its old settings back) are no loss, and must not close it again.
    bool closing = false;
};
