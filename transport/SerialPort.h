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
    // Created without a parent, so that the port worker can move it into its thread.
    explicit SerialPort(QObject *parent = nullptr);

    void setPortName(const QString &name);
    QString portName() const;

    // Opens read-write at 115200 8N1 without flow control and discards everything already
    // pending in the input. Logs the reason when it fails.
    bool open();
    void close();

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
    // Set while the port is being closed: errors raised by the close itself (a vanished
    // device refuses to take its old settings back) are no loss, and must not close it again.
    bool closing = false;
};
