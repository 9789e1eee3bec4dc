// The port worker's tick: one write of everything queued, then one read of everything available.
#include "PortListener.h"

#include "SerialPort.h"

#include <QSerialPort>
#include <QThread>

PortListener::PortListener(SerialPort *port)
    : ExecutableObject(nullptr)
    , port(port)
{
    if (port)
        port->moveToThread(workerThread());

    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    connect(&timer, &QTimer::timeout, this, &PortListener::doWork);
    // A timer can only be started from its own thread.
    timer.moveToThread(workerThread());
    QMetaObject::invokeMethod(&timer, qOverload<>(&QTimer::start), Qt::QueuedConnection);
}

PortListener::~PortListener()
{
    // Stop ticking and give the port to the destroying thread while our thread still runs:
    // the port stays usable from there, and its hand-over then runs directly.
    QThread *destroyer = QThread::currentThread();
    if (workerThread()->isRunning() && destroyer != workerThread()) {
        QMetaObject::invokeMethod(
            this,
            [this, destroyer] {
                timer.stop();
                if (port)
                    port->moveToThread(destroyer);
            },
            Qt::BlockingQueuedConnection);
    }
    stopThread();
}

void PortListener::flush()
{
    QSerialPort *device = port ? port->device() : nullptr;
    if (device && device->isOpen())
        device->flush();
}

void PortListener::writeBytes(QByteArray bytes)
{
    // Bytes queued while the port is closed are dropped at once, so that an open that
    // follows right after cannot send them.
    QSerialPort *device = port ? port->device() : nullptr;
    if (!device || !device->isOpen())
        return;
    pendingWrite.append(bytes);
}

void PortListener::doWork()
{
    QSerialPort *device = port ? port->device() : nullptr;
    if (!device || !device->isOpen()) {
        pendingWrite.clear();
        return;
    }

    // One write per tick, whatever it returns: the protocols above retry on their own.
    if (!pendingWrite.isEmpty()) {
        device->write(pendingWrite);
        pendingWrite.clear();
    }

    if (device->bytesAvailable() <= 0)
        return;
    const QByteArray chunk = device->readAll();
    if (!chunk.isEmpty())
        emit readBytes(chunk);
}
