// Drives one update service through connect, chip list, package and result, and reads its reports.
#include "FlashSession.h"

#include "BootloaderLink.h"
#include "StationLog.h"
#include "ExitCode.h"
#include "PortOpenFailure.h"
#include "MetaTypes.h"
#include "PortListener.h"
#include "SerialPort.h"
#include "UpdateService.h"

#include <QCoreApplication>
#include <QSerialPort>

namespace {

QString serviceText(const char *source)
{
    return QCoreApplication::translate("UpdateService", source);
}

// The service's message for an end, with what differs or failed where there is more to say.
QString endMessage(const UpdateOutcome &outcome)
{
    QString text;
    switch (outcome.reason) {
    case UpdateOutcome::Success:
        text = serviceText("更新完成，用时%1s，运行新固件！").arg(QString::number(outcome.elapsedSeconds));
        break;
    case UpdateOutcome::NoBootloader: text = serviceText("连接设备超时！"); break;
    case UpdateOutcome::Cancelled: text = QStringLiteral("cancelled"); break;
    case UpdateOutcome::ListFailed: text = serviceText("获取设备信息失败！"); break;
    case UpdateOutcome::PackageUnreadable: text = serviceText("固件文件不存在或无法访问！"); break;
    case UpdateOutcome::PackageInvalid: text = serviceText("固件文件格式无效！"); break;
    case UpdateOutcome::CountMismatch: text = serviceText("固件文件与设备不匹配，请使用正确的固件文件！"); break;
    case UpdateOutcome::HardwareMismatch: text = serviceText("固件与设备硬件不匹配，请使用正确的固件文件！"); break;
    case UpdateOutcome::ArchMismatch: text = serviceText("固件与设备结构不匹配，请使用正确的固件文件！"); break;
    case UpdateOutcome::FlashOverflow: text = serviceText("设备%1固件大小溢出！").arg(outcome.chip); break;
    case UpdateOutcome::ChipInfoFailed:
    case UpdateOutcome::ChipChanged:
    case UpdateOutcome::WriteFailed:
    default: text = serviceText("设备%1更新失败，重启至升级模式！").arg(outcome.chip); break;
    }
    const QString detail = outcome.detail();
    return detail.isEmpty() ? text : text + QStringLiteral(" (") + detail + QLatin1Char(')');
}

} // namespace

int FlashSession::exitCodeOf(const UpdateOutcome &outcome)
{
    switch (outcome.reason) {
    case UpdateOutcome::Success: return ExitCode::Success;
    case UpdateOutcome::PackageUnreadable:
    case UpdateOutcome::PackageInvalid: return ExitCode::BadPackage;
    case UpdateOutcome::CountMismatch:
    case UpdateOutcome::HardwareMismatch:
    case UpdateOutcome::ArchMismatch:
    // An image larger than its chip's flash is the package's fault, not the write's.
    case UpdateOutcome::FlashOverflow: return ExitCode::PackageMismatch;
    case UpdateOutcome::ChipInfoFailed:
    case UpdateOutcome::ChipChanged:
    case UpdateOutcome::WriteFailed: return ExitCode::WriteFailed;
    case UpdateOutcome::NoBootloader:
    case UpdateOutcome::Cancelled:
    case UpdateOutcome::ListFailed:
    default: return ExitCode::NoAnswer;
    }
}

FlashSession::FlashSession(const QString &portName, bool multiChip, int connectTimeoutMs,
                           const std::optional<CheckedPackage> &checked, QObject *parent)
    : QObject(parent)
    , port(portName)
    , package(checked)
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
    connect(link, &BootloaderLink::frameBytesArrived, service, &UpdateService::onFrameBytes, Qt::DirectConnection);
    connect(service, &UpdateService::updateStep, this, &FlashSession::onStep);
    connect(service, &UpdateService::updateOutcome, this, &FlashSession::onOutcome);
    connect(service, &UpdateService::progressUpdate, this, &FlashSession::onProgress);
    connect(service, &UpdateService::deviceListUpdate, this, &FlashSession::onDevices);
    connect(service, &UpdateService::chipsListed, this, [this](const QList<chipInfo> &listed) {
        attempt.onChipsListed(listed);
        this->listed = listed;
        QStringList ids;
        for (const chipInfo &chip : listed)
            ids.append(QStringLiteral("%1/%2").arg(chip.cpuid, 8, 16, QLatin1Char('0')).arg(chip.serial, 8, 16, QLatin1Char('0')));
        identity = ids.join(QLatin1Char(' '));
    });
    connect(service, &QThread::finished, this, &FlashSession::onServiceEnded);
    connect(serial, &SerialPort::closedUnexpectedly, this, [this](const QString &reason, quint64) { endOnLostPort(reason); });
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
    case State::Fetching: return QStringLiteral("fetching");
    case State::Writing: return QStringLiteral("writing");
    case State::Done: return QStringLiteral("done");
    }
    return QString();
}

QString FlashSession::changeName(Change change)
{
    switch (change) {
    case Change::State: return QStringLiteral("state");
    case Change::Progress: return QStringLiteral("progress");
    case Change::Report: return QStringLiteral("report");
    case Change::Chips: return QStringLiteral("chips");
    case Change::Done: return QStringLiteral("done");
    }
    return QString();
}

void FlashSession::recordAttempt(int productRow, const QString &adapterSerial)
{
    recording = true;
    attempt = UpdateAttempt(port, adapterSerial, productRow);
    if (package)
        attempt.setPackage(*package);
}

void FlashSession::start()
{
    serial->setPortName(port);
    if (!serial->open()) {
        openFailure = serial->openError();
        finish(End::PortUnavailable, PortOpenFailure::exitCode(openFailure), PortOpenFailure::text(openFailure));
        return;
    }
    service->start(QThread::InheritPriority);
    setState(State::Connecting);
    service->connectRequest();
}

void FlashSession::endOnLostPort(const QString &reason)
{
    if (ending != End::Running)
        return;
    // A gimbal pulled in the middle of the write leaves it half written: a failed write.
    const int exitCode = current == State::Writing ? ExitCode::WriteFailed : ExitCode::NoAnswer;
    service->onCancel();
    finish(End::PortLost, exitCode, reason);
}

void FlashSession::portRemoved()
{
    endOnLostPort(QStringLiteral("adapter removed"));
}

void FlashSession::interrupt()
{
    if (ending != End::Running)
        return;
    service->onCancel();
    finish(End::Interrupted, ExitCode::Interrupted, QStringLiteral("cancelled"));
}

void FlashSession::setState(State state)
{
    if (current == state)
        return;
    current = state;
    emit changed(Change::State);
}

void FlashSession::onStep(const UpdateOutcome &step)
{
    attempt.onStep(step);
    if (ending != End::Running)
        return;
    switch (step.reason) {
    case UpdateOutcome::Connected:
        lastMessage = serviceText("连接设备成功！");
        setState(State::Connected);
        break;
    case UpdateOutcome::Listing:
        lastMessage = serviceText("正在获取设备信息");
        setState(State::Listing);
        break;
    case UpdateOutcome::Listed:
        lastMessage = serviceText("获取设备信息成功！");
        break;
    case UpdateOutcome::ReadingPackage:
        lastMessage = serviceText("获取固件文件信息");
        break;
    case UpdateOutcome::PackageImage:
        lastMessage = QString::asprintf("image %d: structure %04X, hardware %04X, firmware V%0.2f", step.chip,
                                        unsigned(step.chipCode), unsigned(step.packageCode), step.firmware / 100.0);
        break;
    case UpdateOutcome::WritingChip:
        lastMessage = serviceText("正在更新设备%1固件").arg(step.chip);
        chipNumber = step.chip;
        progress = 0;
        setState(State::Writing);
        break;
    case UpdateOutcome::ChipUpToDate:
        lastMessage = QStringLiteral("chip %1: already up to date").arg(step.chip);
        upToDateChips.append(step.chip);
        break;
    default:
        return;
    }
    emit changed(Change::Report);
}

int FlashSession::gimbalPermille() const
{
    if (!package)
        return 0;
    QList<qint64> sizes;
    for (const ptzImage &image : package->header().images)
        sizes.append(image.data.size());
    return gimbalPermille(sizes, upToDateChips, chipNumber, progress);
}

int FlashSession::gimbalPermille(const QList<qint64> &chipBytes, const QList<int> &skipped, int chip, int chipPermille)
{
    qint64 total = 0;
    qint64 done = 0;
    for (int k = 0; k < chipBytes.size(); ++k) {
        if (skipped.contains(k + 1))
            continue;
        total += chipBytes.at(k);
        if (k + 1 < chip)
            done += chipBytes.at(k);
        else if (k + 1 == chip)
            done += chipBytes.at(k) * qBound(0, chipPermille, 1000) / 1000;
    }
    return total > 0 ? int(done * 1000 / total) : 0;
}

void FlashSession::onOutcome(const UpdateOutcome &end)
{
    serviceEnd = end;
    if (ending != End::Running)
        return;
    lastMessage = endMessage(end);
    // The service says it wrote the new firmware; when every chip already held it, nothing was.
    if (end.reason == UpdateOutcome::Success && wroteNothing())
        lastMessage = QStringLiteral("already up to date, nothing written; its firmware runs");
    emit changed(Change::Report);
    // Only a real RUN counts as success: an interrupted or failed session never gets one.
    finish(End::Engine, exitCodeOf(end), lastMessage);
}

void FlashSession::onProgress(int value)
{
    if (ending != End::Running)
        return;
    progress = value;
    emit changed(Change::Progress);
}

void FlashSession::onDevices(const QList<deviceInfo> &devices)
{
    if (ending != End::Running)
        return;
    chips = devices;
    emit changed(Change::Chips);
    if (package) {
        service->packageRequest(*package);
    } else if (awaiting) {
        // The service waits for the package without a time-out and sends nothing meanwhile;
        // each chip is asked again for its record just before it is written.
        lastMessage = QStringLiteral("chips listed; waiting for the package");
        setState(State::Fetching);
        emit changed(Change::Report);
        emit packageWanted();
    } else {
        finish(End::Listed, ExitCode::Success, serviceText("获取设备信息成功！"));
    }
}

void FlashSession::supplyPackage(const PackageCheck &checked)
{
    if (ending != End::Running || package || current != State::Fetching)
        return;
    if (recording && checked.wasRead()) {
        attempt.setPackage(checked.path, checked.size, checked.sha256);
        attempt.setSignature(SignatureCheck::stateName(checked.signature.state), checked.signature.keyId);
    }
    if (!checked.accepted()) {
        UpdateEnding::Refusal why = UpdateEnding::Refusal::Invalid;
        if (checked.refusal == PackageCheck::Refusal::Unsigned)
            why = UpdateEnding::Refusal::Unsigned;
        else if (checked.refusal == PackageCheck::Refusal::SignatureInvalid)
            why = UpdateEnding::Refusal::SignatureInvalid;
        else if (checked.refusal == PackageCheck::Refusal::UntrustedKey)
            why = UpdateEnding::Refusal::UntrustedKey;
        refuse(UpdateEnding::refused(why), QStringLiteral("%1: refused: %2").arg(checked.path, checked.detail()));
        return;
    }
    package = checked.package;
    service->packageRequest(*package);
}

void FlashSession::refuse(const UpdateEnding &why, const QString &message)
{
    if (ending != End::Running)
        return;
    refusal = why;
    // The service is still waiting for a package: the stop ends that wait and nothing is sent.
    finish(End::Refused, ExitCode::BadPackage, message);
}

void FlashSession::finish(End how, int exitCode, const QString &message)
{
    if (ending != End::Running)
        return;
    ending = how;
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
    if (ending == End::Running || current == State::Done)
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
    qCDebug(lcStation) << port << "ended with" << code;
    current = State::Done;
    emit changed(Change::Done);
    emit finished(code);
}

QString FlashSession::reason() const
{
    switch (ending) {
    case End::Running: return QString();
    case End::Engine: return serviceEnd ? UpdateOutcome::reasonName(serviceEnd->reason) : QString();
    case End::Listed: return QStringLiteral("listed");
    case End::Interrupted: return QStringLiteral("cancelled");
    case End::PortLost: return QStringLiteral("port-lost");
    case End::PortUnavailable: return QStringLiteral("port-unavailable");
    case End::Refused: return refusal ? UpdateAttempt::outcomeWord(*refusal) : QString();
    }
    return QString();
}

JournalRecord FlashSession::record(BootCheck check) const
{
    if (ending == End::Refused && refusal)
        return attempt.finish(*refusal, check);
    UpdateEnding end{UpdateEnding::Kind::Engine, serviceEnd};
    if (ending == End::Interrupted)
        end.kind = UpdateEnding::Kind::Cancelled;
    else if (ending == End::PortLost)
        end.kind = UpdateEnding::Kind::PortLost;
    else if (ending == End::PortUnavailable)
        end.kind = UpdateEnding::Kind::PortUnavailable;
    return attempt.finish(end, check);
}
