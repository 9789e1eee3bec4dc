// Words, exit statuses and JSON values for the reasons a port cannot be opened.
#include "PortOpenFailure.h"

#include "ExitCode.h"
#include "PortTexts.h"

#include <QCoreApplication>

namespace PortOpenFailure {

QString text(SerialPort::OpenError reason)
{
    switch (reason) {
    case SerialPort::OpenError::PermissionDenied:
        return QCoreApplication::translate("MainWindow", PortTexts::permissionDenied);
    case SerialPort::OpenError::InUse:
        return QCoreApplication::translate("MainWindow", PortTexts::inUse);
    default:
        return QCoreApplication::translate("MainWindow", PortTexts::cannotOpen);
    }
}

int exitCode(SerialPort::OpenError reason)
{
    switch (reason) {
    case SerialPort::OpenError::PermissionDenied:
    case SerialPort::OpenError::InUse:
    case SerialPort::OpenError::Other:
        return ExitCode::CannotOpen;
    case SerialPort::OpenError::None:
    case SerialPort::OpenError::NotFound:
        break;
    }
    return ExitCode::NoAnswer;
}

QString jsonName(SerialPort::OpenError reason)
{
    switch (reason) {
    case SerialPort::OpenError::None: return QString();
    case SerialPort::OpenError::NotFound: return QStringLiteral("not-found");
    case SerialPort::OpenError::PermissionDenied: return QStringLiteral("permission-denied");
    case SerialPort::OpenError::InUse: return QStringLiteral("in-use");
    case SerialPort::OpenError::Other: return QStringLiteral("other");
    }
    return QString();
}

} // namespace PortOpenFailure
