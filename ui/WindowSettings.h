// What the window remembers between runs: product, last port, package paths, how the port was
// closed and an update that did not finish. Every choice is written when it is made.
#pragma once

#include <QString>
#include <QStringList>

class WindowSettings
{
public:
    // The product row last chosen; `fallback` when none was stored or it is out of range.
    static int productRow(int fallback);
    static void setProductRow(int row);

    // The port last opened by the window (empty if none) and its adapter's serial number.
    static QString lastPort();
    static QString lastPortSerial();
    static void setLastPort(const QString &name, const QString &serialNumber);

    // Whether the user closed the port with its button (as opposed to the adapter going away).
    static bool closedByUser();
    static void setClosedByUser(bool byUser);

    // The firmware tab's package paths in list order; the current one is the last chosen.
    static QStringList packagePaths();
    static QString currentPackage();
    // Adds `path` (kept once) and makes it the current package.
    static void notePackage(const QString &path);
    // "Only signed packages": refuse a package without a signature.
    static bool requireSigned();
    static void setRequireSigned(bool value);

    // An update that started writing and has not reported its end: the port, its adapter's
    // serial number (empty for a port without one) and the package.
    static bool updateInterrupted(QString *port, QString *serialNumber, QString *package);
    static void setUpdateInProgress(const QString &port, const QString &serialNumber, const QString &package);
    static void clearUpdateInProgress();

    // Oldest paths beyond this many are forgotten.
    static constexpr int MaxPackagePaths = 10;
};
