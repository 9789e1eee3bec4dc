// Keys and values of the window's settings in the application's QSettings.
#include "WindowSettings.h"

#include <QSettings>

namespace {

const QString kProduct = QStringLiteral("product/row");
const QString kLastPort = QStringLiteral("port/last");
const QString kLastPortSerial = QStringLiteral("port/lastSerialNumber");
const QString kClosedByUser = QStringLiteral("port/closedByUser");
const QString kPackages = QStringLiteral("firmware/packages");
const QString kCurrentPackage = QStringLiteral("firmware/current");
const QString kRequireSigned = QStringLiteral("firmware/requireSigned");
const QString kUpdatePort = QStringLiteral("update/port");
const QString kUpdatePackage = QStringLiteral("update/package");
const QString kUpdateSerial = QStringLiteral("update/serialNumber");

} // namespace

int WindowSettings::productRow(int fallback)
{
    bool ok = false;
    const int row = QSettings().value(kProduct).toInt(&ok);
    return ok ? row : fallback;
}

void WindowSettings::setProductRow(int row)
{
    QSettings().setValue(kProduct, row);
}

QString WindowSettings::lastPort()
{
    return QSettings().value(kLastPort).toString();
}

QString WindowSettings::lastPortSerial()
{
    return QSettings().value(kLastPortSerial).toString();
}

void WindowSettings::setLastPort(const QString &name, const QString &serialNumber)
{
    QSettings settings;
    settings.setValue(kLastPort, name);
    settings.setValue(kLastPortSerial, serialNumber);
}

bool WindowSettings::closedByUser()
{
    return QSettings().value(kClosedByUser, false).toBool();
}

void WindowSettings::setClosedByUser(bool byUser)
{
    QSettings().setValue(kClosedByUser, byUser);
}

QStringList WindowSettings::packagePaths()
{
    return QSettings().value(kPackages).toStringList();
}

QString WindowSettings::currentPackage()
{
    return QSettings().value(kCurrentPackage).toString();
}

void WindowSettings::notePackage(const QString &path)
{
    if (path.isEmpty())
        return;
    QSettings settings;
    QStringList paths = settings.value(kPackages).toStringList();
    if (!paths.contains(path))
        paths.append(path);
    while (paths.size() > MaxPackagePaths)
        paths.removeFirst();
    settings.setValue(kPackages, paths);
    settings.setValue(kCurrentPackage, path);
}

bool WindowSettings::updateInterrupted(QString *port, QString *serialNumber, QString *package)
{
    QSettings settings;
    if (!settings.contains(kUpdatePort))
        return false;
    *port = settings.value(kUpdatePort).toString();
    *serialNumber = settings.value(kUpdateSerial).toString();
    *package = settings.value(kUpdatePackage).toString();
    return true;
}

void WindowSettings::setUpdateInProgress(const QString &port, const QString &serialNumber, const QString &package)
{
    QSettings settings;
    settings.setValue(kUpdatePort, port);
    settings.setValue(kUpdateSerial, serialNumber);
    settings.setValue(kUpdatePackage, package);
}

void WindowSettings::clearUpdateInProgress()
{
    QSettings settings;
    settings.remove(kUpdatePort);
    settings.remove(kUpdateSerial);
    settings.remove(kUpdatePackage);
}

bool WindowSettings::requireSigned()
{
    return QSettings().value(kRequireSigned, false).toBool();
}

void WindowSettings::setRequireSigned(bool value)
{
    QSettings().setValue(kRequireSigned, value);
}
