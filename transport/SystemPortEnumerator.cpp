// Lists the serial ports when something changed and turns the differences into hot-plug notices.
#include "SystemPortEnumerator.h"

#include "TransportLog.h"
#include "UdevTtyMonitor.h"
#include "VirtualPortWatcher.h"

#include <QSerialPortInfo>
#include <utility>

#include <dirent.h>
#include <unistd.h>

namespace {

// Every entry of the kernel's tty class with the device it links to: a few dozen cheap
// system calls, against milliseconds for a full listing with USB ids. A new adapter, a
// removed one or one on another USB socket changes it.
QByteArray ttyClassSignature()
{
    QByteArray signature;
    DIR *dir = opendir("/sys/class/tty");
    if (!dir)
        return signature;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        char target[512];
        const QByteArray path = QByteArray("/sys/class/tty/") + entry->d_name;
        const ssize_t n = readlink(path.constData(), target, sizeof target);
        signature += entry->d_name;
        signature += '>';
        if (n > 0)
            signature.append(target, qsizetype(n));
        signature += '\n';
    }
    closedir(dir);
    return signature;
}

} // namespace

SystemPortEnumerator::SystemPortEnumerator(QObject *parent)
    : PortEnumerator(parent)
    , udev(new UdevTtyMonitor(this))
    , virtualPorts(new VirtualPortWatcher(this))
{
    connect(udev, &UdevTtyMonitor::changed, this, &SystemPortEnumerator::onSystemChanged);
    connect(virtualPorts, &VirtualPortWatcher::changed, this, &SystemPortEnumerator::onVirtualChanged);
    connect(&timer, &QTimer::timeout, this, &SystemPortEnumerator::onTimer);
    timer.setInterval(DefaultRefreshIntervalMs);

    ttySignature = ttyClassSignature();
    systemPorts = listSystemPorts();
    listing = systemPorts + virtualPorts->ports();
    updateTimer();
}

SystemPortEnumerator::~SystemPortEnumerator() = default;

QList<PortInfo> SystemPortEnumerator::availablePorts() const
{
    return listing;
}

void SystemPortEnumerator::setRefreshInterval(int ms)
{
    timer.setInterval(ms);
}

bool SystemPortEnumerator::followsUdev() const
{
    return udev->isActive();
}

QList<PortInfo> SystemPortEnumerator::listSystemPorts()
{
    QList<PortInfo> ports;
    const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system) {
        // The short name ("ttyUSB0", "COM3") is what users know; QSerialPort accepts it.
        ports.append(PortInfo{info.portName(),
                              info.hasVendorIdentifier() ? info.vendorIdentifier() : quint16(0),
                              info.hasProductIdentifier() ? info.productIdentifier() : quint16(0),
                              info.description(), info.serialNumber()});
    }
    return ports;
}

void SystemPortEnumerator::refresh()
{
    ttySignature = ttyClassSignature();
    systemPorts = listSystemPorts();
    virtualPorts->recheck();
    publish();
    updateTimer();
}

void SystemPortEnumerator::onSystemChanged()
{
    qCDebug(lcTransport, "udev: tty devices changed");
    ttySignature = ttyClassSignature();
    systemPorts = listSystemPorts();
    publish();
}

void SystemPortEnumerator::onVirtualChanged()
{
    publish();
    updateTimer();
}

void SystemPortEnumerator::onTimer()
{
    if (!udev->isActive()) {
        QByteArray signature = ttyClassSignature();
        if (signature != ttySignature) {
            ttySignature = std::move(signature);
            systemPorts = listSystemPorts();
        }
    }
    virtualPorts->recheck();
    publish();
    updateTimer();
}

// The timer runs only for what no event covers.
void SystemPortEnumerator::updateTimer()
{
    const bool needed = !udev->isActive() || (!virtualPorts->isEmpty() && !virtualPorts->isWatching());
    if (needed && !timer.isActive())
        timer.start();
    else if (!needed)
        timer.stop();
}

void SystemPortEnumerator::publish()
{
    const QList<PortInfo> previous = std::exchange(listing, systemPorts + virtualPorts->ports());
    if (listing == previous)
        return;
    emit portsChanged();
    for (const PortInfo &old : previous) {
        if (!listing.contains(old))
            emit deviceRemoved(old);
    }
    for (const PortInfo &current : std::as_const(listing)) {
        if (!previous.contains(current))
            emit deviceDiscovered(current);
    }
}
