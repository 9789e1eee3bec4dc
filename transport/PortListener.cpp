// The port worker: writes as soon as bytes are queued, reads whenever the port has input.
#include "PortListener.h"

#include "SerialPort.h"

#include <QSerialPort>
#include <QThread>

#include <poll.h>

namespace {

// QSerialPort::flush() makes one write attempt; on a full line that attempt fails with an error
// signal that only says "try again". So the push is made only when the line reports room;
// otherwise the port's own write notifier sends the rest as soon as there is room.
void pushPendingOutput(QSerialPort *device)
{
    if (device->bytesToWrite() <= 0)
        return;
    pollfd line{int(device->handle()), POLLOUT, 0};
    if (::poll(&line, 1, 0) == 1 && (line.revents & POLLOUT))
        device->flush();
}

} // namespace

PortListener::PortListener(SerialPort *port)
    : ExecutableObject(nullptr)
    , port(port)
{
    if (!port)
        return;
    port->moveToThread(workerThread());
    // Both live in the worker's thread, so the port's readyRead reaches doWork directly.
    connect(port->device(), &QIODevice::readyRead, this, &PortListener::doWork);
}

PortListener::~PortListener()
{
    // Give the port to the destroying thread while our thread still runs: the port stays
    // usable from there, and its hand-over then runs directly. Its input no longer reaches us.
    QThread *destroyer = QThread::currentThread();
    if (port && workerThread()->isRunning() && destroyer != workerThread()) {
        QMetaObject::invokeMethod(
            this,
            [this, destroyer] {
                disconnect(port->device(), nullptr, this, nullptr);
                port->moveToThread(destroyer);
            },
            Qt::BlockingQueuedConnection);
    } else if (port) {
        disconnect(port->device(), nullptr, this, nullptr);
    }
    stopThread();
}

void PortListener::flush()
{
    QSerialPort *device = port ? port->device() : nullptr;
    if (device && device->isOpen())
        pushPendingOutput(device);
}

void PortListener::writeBytes(QByteArray bytes)
{
    QSerialPort *device = port ? port->device() : nullptr;
    if (!device || !device->isOpen() || bytes.isEmpty())
        return;
    // QSerialPort only buffers in write(); the push hands the bytes to the device now instead
    // of at the event loop's next pass. The protocols above retry on their own.
    device->write(bytes);
    pushPendingOutput(device);
}

void PortListener::doWork()
{
    QSerialPort *device = port ? port->device() : nullptr;
    if (!device || !device->isOpen() || device->bytesAvailable() <= 0)
        return;
    const QByteArray chunk = device->readAll();
    if (!chunk.isEmpty())
        emit readBytes(chunk);
}
