// Drives one update service through connect, chip list, package and result, and reads its reports.
#include "FlashSession.h"

#include "BootloaderLink.h"
#include "CliLog.h"
#include "ExitCode.h"
#include "PortOpenFailure.h"
#include "MetaTypes.h"
#include "PortListener.h"
#include "SerialPort.h"
#include "UpdateService.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSerialPort>

namespace {

QString serviceText(const char *source)
{
    return QCoreApplication::translate("UpdateService", source);
}

// Whether `message` is the service's text `source`, with any number in place of %1.
bool isReport(const QString &message, const char *source)
{
    const QStringList parts = serviceText(source).split(QStringLiteral("%1"));
    if (parts.size() == 1)
        return message == parts.first();
    QStringList escaped;
    for (const QString &part : parts)
        escaped.append(QRegularExpression::escape(part));
    return QRegularExpression(QLatin1Char('^') + escaped.join(QStringLiteral("[-0-9.]+")) + QLatin1Char('$'))
        .match(message)
        .hasMatch();
}

} // namespace

FlashSession::FlashSession(const QString &portName, bool multiChip, int connectTimeoutMs, const QString &packagePath,
                           QObject *parent)
    : QObject(parent)
    , port(portName)
    , package(packagePath)
    , serial(new SerialPort)
    , portListener(new PortListener(serial))
    , link(new BootloaderLink)
    , service(new UpdateService)
{
    registerQueuedMetaTypes();
    registerUpdateMetaTypes();
    // Service -> link -> port worker -> port, and back, in the order the data flows. As in the
    // window, framing runs directly in the thread that hands over the bytes (the service's loop
    // going out, the port worker coming in), so a frame crosses two threads instead of four.
    connect(service, &UpdateService::transmitBytes, link, &BootloaderLink::transmitBytes, Qt::DirectConnection);
    connect(link, &BootloaderLink::rxFlush, portListener, &PortListener::flush);
    connect(link, &BootloaderLink::streamOut, portListener, &PortListener::writeBytes);
    connect(portListener, &PortListener::readBytes, link, &BootloaderLink::parser, Qt::DirectConnection);
    connect(link, &BootloaderLink::recvFrame, service, &UpdateService::onRecvFrame, Qt::DirectConnection);
    connect(service, &UpdateService::updateReport, this, &FlashSession::onReport);
    connect(service, &UpdateService::progressUpdate, this, &FlashSession::onProgress);
    connect(service, &UpdateService::deviceListUpdate, this, &FlashSession::onDevices);
    connect(service, &QThread::finished, this, &FlashSession::onServiceEnded);
    connect(serial, &SerialPort::closedUnexpectedly, this, [this](const QString &reason, quint64) {
        // A gimbal pulled in the middle of the write leaves it half written: a failed write.
        const int exitCode = current == State::Writing ? ExitCode::WriteFailed : ExitCode::NoAnswer;
        service->onCancel();
        finish(exitCode, reason);
    });
    service->setMultiChip(multiChip);
    service->setProbeTimeoutMs(connectTimeoutMs);
}

FlashSession::~FlashSession()
{
    service->stop();
    service->wait();
    delete service;
    serial->close();
    delete portListener;
    delete link;
    delete serial;
}

QString FlashSession::stateName(State state)
{
    switch (state) {
    case State::Opening: return QStringLiteral("opening");
    case State::Connecting: return QStringLiteral("connecting");
    case State::Connected: return QStringLiteral("connected");
    case State::Listing: return QStringLiteral("listing");
    case State::Writing: return QStringLiteral("writing");
    case State::Done: return QStringLiteral("done");
    }
    return QString();
}

void FlashSession::start()
{
    serial->setPortName(port);
    if (!serial->open()) {
        openFailure = serial->openError();
        finish(PortOpenFailure::exitCode(openFailure), PortOpenFailure::text(openFailure));
        return;
    }
    service->start(QThread::InheritPriority);
    setState(State::Connecting);
    service->connectRequest();
}

void FlashSession::interrupt()
{
    if (current == State::Done || finishing)
        return;
    service->onCancel();
    finish(ExitCode::Interrupted, QStringLiteral("interrupted"));
}

void FlashSession::setState(State state)
{
    if (current == state)
        return;
    current = state;
    emit changed(QStringLiteral("state"));
}

void FlashSession::onReport(int type, const QString &message)
{
    if (finishing)
        return;
    lastMessage = message;
    switch (type) {
    case 1:
        setState(State::Connected);
        break;
    case 2:
        emit changed(QStringLiteral("report"));
        finish(ExitCode::NoAnswer, message);
        return;
    case 3:
        emit changed(QStringLiteral("report"));
        // Only a real RUN counts: an interrupted or failed session never gets here.
        finish(ExitCode::Success, message);
        return;
    case -1:
        emit changed(QStringLiteral("report"));
        if (isReport(message, "获取设备%1信息失败！")) {
            pendingCode = ExitCode::WriteFailed;
            return; // the final failure report follows
        }
        if (isReport(message, "设备%1固件大小溢出！")) {
            pendingCode = ExitCode::PackageMismatch;
            return;
        }
        if (isReport(message, "设备%1更新失败，重启至升级模式！"))
            finish(pendingCode ? pendingCode : ExitCode::WriteFailed, message);
        else if (isReport(message, "固件文件不存在或无法访问！") || isReport(message, "固件文件格式无效！"))
            finish(ExitCode::BadPackage, message);
        else if (isReport(message, "获取设备信息失败！"))
            finish(ExitCode::NoAnswer, message);
        else
            finish(ExitCode::PackageMismatch, message);
        return;
    default:
        if (isReport(message, "正在获取设备信息")) {
            setState(State::Listing);
        } else if (isReport(message, "正在更新设备%1固件")) {
            chipNumber = QRegularExpression(QStringLiteral("(\\d+)")).match(message).captured(1).toInt();
            progress = 0;
            setState(State::Writing);
        }
        emit changed(QStringLiteral("report"));
        return;
    }
    emit changed(QStringLiteral("report"));
}

void FlashSession::onProgress(int value)
{
    if (finishing)
        return;
    progress = value;
    emit changed(QStringLiteral("progress"));
}

void FlashSession::onDevices(const QList<deviceInfo> &devices)
{
    if (finishing)
        return;
    chips = devices;
    emit changed(QStringLiteral("chips"));
    if (package.isEmpty())
        finish(ExitCode::Success, serviceText("获取设备信息成功！"));
    else
        service->dataRequest(package);
}

void FlashSession::finish(int exitCode, const QString &message)
{
    if (finishing || current == State::Done)
        return;
    finishing = true;
    code = exitCode;
    if (!message.isEmpty())
        lastMessage = message;
    if (!service->isRunning()) {
        onServiceEnded();
        return;
    }
    // A stop ends every wait at once, the way a cancel does; the loop then returns. RUN or
    // RESTART, if the cycle sends one, is emitted before the thread ends.
    service->stop();
}

void FlashSession::onServiceEnded()
{
    if (!finishing)
        return;
    // The service framed its last request (RUN or RESTART) in its own thread before it ended;
    // the bytes are queued to the port worker ahead of this marker and reach the line before
    // the close.
    SerialPort *device = serial;
    QMetaObject::invokeMethod(
        portListener,
        [device] {
            QSerialPort *line = device->device();
            if (line->isOpen() && line->bytesToWrite() > 0)
                line->waitForBytesWritten(500);
        },
        Qt::BlockingQueuedConnection);
    serial->close();
    qCDebug(lcCli) << port << "ended with" << code;
    current = State::Done;
    emit changed(QStringLiteral("done"));
    emit finished(code);
}
