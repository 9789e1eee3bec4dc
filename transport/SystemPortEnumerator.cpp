// Lists the serial ports and turns changes between two listings into hot-plug notices.
#include "SystemPortEnumerator.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <utility>

namespace {

// Colon-separated paths, each listed as a gimbal adapter while it exists. A symbolic link to
// a pseudo-terminal that has gone counts as absent.
QList<PortInfo> virtualPorts()
{
    QList<PortInfo> ports;
    const QStringList paths =
        qEnvironmentVariable("VELMORA_VIRTUAL_PORTS").split(u':', Qt::SkipEmptyParts);
    for (const QString &path : paths) {
        if (QFileInfo::exists(path))
            ports.append(PortInfo{path, GimbalAdapterVendorId, GimbalAdapterProductId});
    }
    return ports;
}

} // namespace

SystemPortEnumerator::SystemPortEnumerator(QObject *parent)
    : PortEnumerator(parent)
{
    lastListing = availablePorts();
    timer.setInterval(DefaultRefreshIntervalMs);
    connect(&timer, &QTimer::timeout, this, &SystemPortEnumerator::refresh);
    timer.start();
}

QList<PortInfo> SystemPortEnumerator::availablePorts() const
{
    recentListing = listPorts();
    recentListingAge.start();
    return recentListing;
}

QList<PortInfo> SystemPortEnumerator::listPorts()
{
    QList<PortInfo> ports;
    const QList<QSerialPortInfo> system = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : system) {
        // The short name ("ttyUSB0", "COM3") is what users know; QSerialPort accepts it.
        ports.append(PortInfo{info.portName(),
                              info.hasVendorIdentifier() ? info.vendorIdentifier() : quint16(0),
                              info.hasProductIdentifier() ? info.productIdentifier() : quint16(0)});
    }
    ports.append(virtualPorts());
    return ports;
}

void SystemPortEnumerator::setRefreshInterval(int ms)
{
    timer.setInterval(ms);
}

void SystemPortEnumerator::refresh()
{
    // A listing costs milliseconds of system calls; one that a caller made within the last
    // period is recent enough for the comparison.
    const bool recent = recentListingAge.isValid() && recentListingAge.elapsed() < timer.interval();
    const QList<PortInfo> previous = std::exchange(lastListing, recent ? recentListing : availablePorts());
    for (const PortInfo &old : previous) {
        if (!lastListing.contains(old))
            emit deviceRemoved(old);
    }
    for (const PortInfo &current : std::as_const(lastListing)) {
        if (!previous.contains(current))
            emit deviceDiscovered(current);
    }
}
