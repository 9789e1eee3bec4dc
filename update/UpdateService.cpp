// The update procedure: connect, list the chips, wait for a package, match it and write it.
#include "UpdateService.h"

#include "UpdateLog.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <memory>

using namespace BootloaderCommand;

UpdateService::UpdateService(QObject *parent)
    : QThread(parent)
{
    // Monotonic milliseconds since construction.
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    elapsedClock = [timer] { return timer->elapsed(); };
}

UpdateService::~UpdateService()
{
    stop();
    wait();
}

void UpdateService::setElapsedClock(std::function<qint64()> clock)
{
    if (clock)
        elapsedClock = std::move(clock);
}

void UpdateService::stop()
{
    quitRequested.store(true);
    // Under the lock, so a waiter between its check of the flag and its wait cannot miss it.
    QMutexLocker lock(&eventLock);
    eventChanged.wakeAll();
}

uint32_t UpdateService::pendingEvents() const
{
    QMutexLocker lock(&eventLock);
    return events;
}

void UpdateService::setMultiChip(bool value)
{
    onCancel();
    multiChipMode.store(value);
}

void UpdateService::connectRequest()
{
    if (connected.load())
        return;
    // A cancel (a product change, say) that the loop has not taken up yet leaves EV_FRAME set
    // next to EV_CONNECT, and the loop drops both together as a cancel. A request made after
    // that cancel is the user's newer wish: the stale frame bit must not swallow it.
    QMutexLocker lock(&eventLock);
    events = (events & ~EV_FRAME) | EV_CONNECT;
    eventChanged.wakeAll();
}

void UpdateService::packageRequest(const CheckedPackage &checked)
{
    QMutexLocker lock(&eventLock);
    requested = checked;
    events |= EV_FILE;
    eventChanged.wakeAll();
}

void UpdateService::onCancel()
{
    connected.store(false);
    QMutexLocker lock(&eventLock);
    // A package asked for before the cancel is not written by a later connection.
    events = (events & ~EV_FILE) | EV_FRAME | EV_CONNECT;
    eventChanged.wakeAll();
}

void UpdateService::clearPackageRequest()
{
    QMutexLocker lock(&eventLock);
    events &= ~EV_FILE;
}

void UpdateService::onRecvFrame(QByteArray bytes)
{
    // A handful of frames is all one request can draw; more means a babbling line.
    constexpr qsizetype InboxLimit = 16;
    QMutexLocker lock(&eventLock);
    if (inbox.size() >= InboxLimit)
        inbox.removeFirst();
    inbox.append(bytes);
    frameBytes = true;
    events |= EV_FRAME;
    eventChanged.wakeAll();
}

void UpdateService::onFrameBytes()
{
    QMutexLocker lock(&eventLock);
    frameBytes = true;
}

void UpdateService::setEvents(uint32_t bits)
{
    QMutexLocker lock(&eventLock);
    events |= bits;
    eventChanged.wakeAll();
}

bool UpdateService::waitEvent(uint32_t mask, int mode, uint64_t timeoutMs, uint32_t *seen)
{
    const QDeadlineTimer deadline(qint64(qMin<uint64_t>(timeoutMs, uint64_t(INT64_MAX))));
    QMutexLocker lock(&eventLock);
    for (;;) {
        uint32_t bits = events & mask;
        bool done = ((mode & ModeAll) && bits == mask) || ((mode & ModeAny) && bits != 0);
        if (quitRequested.load()) {
            // A stop ends the wait the way a cancel does, so every caller gives up at once.
            bits = mask & (EV_FRAME | EV_CONNECT);
            done = true;
        }
        if (done) {
            *seen = bits;
            if (mode & ModeConsume)
                events &= ~mask;
            return true;
        }
        if (deadline.hasExpired())
            return false;
        eventChanged.wait(&eventLock, deadline);
    }
}

void UpdateService::pause(unsigned long ms)
{
    const QDeadlineTimer deadline{qint64(ms)};
    QMutexLocker lock(&eventLock);
    while (!quitRequested.load() && !deadline.hasExpired())
        eventChanged.wait(&eventLock, deadline);
}

void UpdateService::run()
{
    while (!quitRequested.load())
        cycle();
    // The stop has been served here rather than cleared at the start, so a stop() that came
    // before the thread started is not lost; a later start() runs the loop again.
    quitRequested.store(false);
}

UpdateOutcome UpdateService::outcomeOf(UpdateOutcome::Reason reason, int chip)
{
    UpdateOutcome outcome;
    outcome.reason = reason;
    outcome.chip = chip;
    return outcome;
}

void UpdateService::fail(const QString &message, const UpdateOutcome &outcome)
{
    // Cleared before the report, so a connect request prompted by it is not ignored.
    connected.store(false);
    clearPackageRequest();
    emit updateReport(-1, message);
    emit updateOutcome(outcome);
}

bool UpdateService::connectBootloader()
{
    uint32_t seen = 0;
    // A stray frame or a cancel while idle ends the cycle without a report.
    if (!waitEvent(EV_FRAME | EV_CONNECT, ModeAny | ModeConsume, NoTimeout, &seen) || seen != EV_CONNECT)
        return false;
    cancelSeen = false;
    if (!probe(1, probeTimeoutMs.load())) {
        qCDebug(lcUpdate, "> try connect false!");
        clearPackageRequest();
        emit updateReport(2, tr("连接设备超时！"));
        emit updateOutcome(outcomeOf(cancelSeen ? UpdateOutcome::Cancelled : UpdateOutcome::NoBootloader));
        return false;
    }
    connected.store(true);
    emit updateReport(1, tr("连接设备成功！"));
    emit updateStep(outcomeOf(UpdateOutcome::Connected));
    return true;
}

void UpdateService::cycle()
{
    if (!connected.load() && !connectBootloader())
        return;

    cancelSeen = false;
    emit updateReport(0, tr("正在获取设备信息"));
    emit updateStep(outcomeOf(UpdateOutcome::Listing));
    QList<chipInfo> chips;
    if (listChips(&chips) != Exchange::Reply) {
        // A listing cut short by a damaged reply or a cancel is never taken as the whole chain.
        fail(tr("获取设备信息失败！"), outcomeOf(cancelSeen ? UpdateOutcome::Cancelled : UpdateOutcome::ListFailed));
        return;
    }
    emit updateReport(0, tr("获取设备信息成功！"));
    UpdateOutcome listed = outcomeOf(UpdateOutcome::Listed);
    listed.chipCount = int(chips.size());
    emit updateStep(listed);
    qCDebug(lcUpdate) << "list size:" << chips.size();
    QList<deviceInfo> rows;
    const bool multi = multiChipMode.load();
    for (const chipInfo &chip : std::as_const(chips)) {
        qCDebug(lcUpdate) << "cpu:" << chip.cpuidBytes().toHex().toUpper() << "size:" << chip.flashSize;
        rows.append(deviceInfo::fromChip(chip, multi));
    }
    emit chipsListed(chips);
    emit deviceListUpdate(rows);
    emit getDataRequest();
    qCDebug(lcUpdate) << ">> comm: data request";

    uint32_t seen = 0;
    if (!waitEvent(EV_FRAME | EV_CONNECT | EV_FILE, ModeAny | ModeConsume, NoTimeout, &seen) || seen != EV_FILE)
        return; // connected stays as it is: the next cycle lists again unless a cancel came
    {
        QMutexLocker lock(&eventLock);
        if (!requested)
            return;
        // The door parsed and checked these very bytes: their header is the package written.
        package = requested->header();
        qCDebug(lcUpdate) << ">> comm: file" << requested->path() << requested->size();
        requested.reset();
    }
    const qint64 started = elapsedClock();

    emit updateReport(0, tr("获取固件文件信息"));
    emit updateStep(outcomeOf(UpdateOutcome::ReadingPackage));
    // The door accepts only packages whose count equals the records read.
    for (int k = 0; k < package.images.size(); ++k) {
        const ptzImage &image = package.images.at(k);
        emit updateReport(0, QString::asprintf("固件%d: 结构:%04X, 硬件:%04X, 固件:V%0.2f", k + 1,
                                                package.arch, image.hardware, image.firmware / 100.0));
        UpdateOutcome line = outcomeOf(UpdateOutcome::PackageImage, k + 1);
        line.chipCode = package.arch;
        line.packageCode = image.hardware;
        line.firmware = image.firmware;
        line.imageSize = image.data.size();
        emit updateStep(line);
    }
    if (!matchPackage(chips))
        return;

    cancelSeen = false;
    pagesWritten = 0;
    UpdateOutcome failure;
    const int written = writeChips(chips, &failure);
    const qint64 elapsed = elapsedClock() - started;
    connected.store(false); // every update needs a new connection
    clearPackageRequest();
    if (written == chips.size()) {
        UpdateOutcome success = outcomeOf(UpdateOutcome::Success);
        success.chipCount = int(chips.size());
        success.elapsedSeconds = elapsed / 1000.0;
        success.pagesWritten = pagesWritten;
        success.endCommand = UpdateOutcome::RunSent;
        endUpdate(RUN, tr("更新完成，用时%1s，运行新固件！").arg(QString::number(elapsed / 1000.0)), 3, success);
    } else {
        if (cancelSeen)
            failure = outcomeOf(UpdateOutcome::Cancelled, written + 1);
        failure.pagesWritten = pagesWritten;
        failure.endCommand = UpdateOutcome::RestartSent;
        endUpdate(RESTART, tr("设备%1更新失败，重启至升级模式！").arg(written + 1), -1, failure);
    }
    qCDebug(lcUpdate).nospace() << "time: " << elapsed;
}

bool UpdateService::matchPackage(const QList<chipInfo> &chips)
{
    if (chips.size() != package.count || chips.size() != package.images.size()) {
        UpdateOutcome outcome = outcomeOf(UpdateOutcome::CountMismatch);
        outcome.chipCount = int(chips.size());
        outcome.imageCount = int(package.images.size());
        qCDebug(lcUpdate).noquote() << "> mismatch:" << outcome.detail();
        fail(tr("固件文件与设备不匹配，请使用正确的固件文件！"), outcome);
        return false;
    }
    UpdateOutcome hardware = outcomeOf(UpdateOutcome::Success);
    for (int k = 0; k < chips.size(); ++k) {
        qCDebug(lcUpdate) << "HW:" << chips.at(k).hardware << package.images.at(k).hardware;
        if (chips.at(k).hardware != package.images.at(k).hardware && hardware.reason == UpdateOutcome::Success) {
            hardware = outcomeOf(UpdateOutcome::HardwareMismatch, k + 1);
            hardware.chipCode = chips.at(k).hardware;
            hardware.packageCode = package.images.at(k).hardware;
        }
    }
    if (hardware.reason != UpdateOutcome::Success) {
        qCDebug(lcUpdate).noquote() << "> mismatch:" << hardware.detail();
        fail(tr("固件与设备硬件不匹配，请使用正确的固件文件！"), hardware);
        return false;
    }
    // The whole package is built for one structure; the first chip stands for the gimbal.
    if (chips.first().arch != package.arch) {
        qCDebug(lcUpdate) << "ARCH:" << chips.first().arch << package.arch;
        UpdateOutcome outcome = outcomeOf(UpdateOutcome::ArchMismatch, 1);
        outcome.chipCode = chips.first().arch;
        outcome.packageCode = package.arch;
        qCDebug(lcUpdate).noquote() << "> mismatch:" << outcome.detail();
        fail(tr("固件与设备结构不匹配，请使用正确的固件文件！"), outcome);
        return false;
    }
    return true;
}

int UpdateService::writeChips(const QList<chipInfo> &chips, UpdateOutcome *failure)
{
    const QList<ptzImage> &images = package.images;
    int written = 0;
    for (int k = 0; k < chips.size() && k < images.size(); ++k) {
        const ptzImage &image = images.at(k);
        const chipInfo &listed = chips.at(k);
        *failure = outcomeOf(UpdateOutcome::WriteFailed, k + 1);
        chipInfo chip;
        if (getInfo(listed.address, &chip) != Exchange::Reply) {
            connected.store(false);
            qCDebug(lcUpdate, "> get cpu info error!");
            emit updateReport(-1, tr("获取设备%1信息失败！").arg(k + 1));
            *failure = outcomeOf(UpdateOutcome::ChipInfoFailed, k + 1);
            break;
        }
        qCDebug(lcUpdate,
                ">> cpuid:%08X, pagesize: %d, pagenum: %d, falshsize: %u, bl:%04X, hw:%04X, fw:%0.2f, sn:%08X",
                chip.cpuid, chip.pageSize, chip.pageCount, chip.flashSize, chip.boot, chip.hardware,
                chip.firmware / 100.0, chip.serial);
        // The chain may have changed since the listing (a chip replugged, a NEXT that skipped
        // or stood still): only the chip listed here may take this image.
        if (chip.cpuid != listed.cpuid || chip.hardware != listed.hardware || chip.hardware != image.hardware) {
            *failure = outcomeOf(UpdateOutcome::ChipChanged, k + 1);
            failure->listedCpuid = listed.cpuid;
            failure->packageCode = listed.hardware;
            failure->foundCpuid = chip.cpuid;
            failure->chipCode = chip.hardware;
            qCDebug(lcUpdate).noquote() << "> chip changed:" << failure->detail();
            break;
        }
        if (chip.flashSize < uint64_t(image.data.size())) {
            qCDebug(lcUpdate, "chip %d flash size overflow!", k + 1);
            emit updateReport(-1, tr("设备%1固件大小溢出！").arg(k + 1));
            *failure = outcomeOf(UpdateOutcome::FlashOverflow, k + 1);
            failure->imageSize = image.data.size();
            failure->flashSize = chip.flashSize;
            break;
        }
        emit updateReport(0, tr("正在更新设备%1固件").arg(k + 1));
        emit updateStep(outcomeOf(UpdateOutcome::WritingChip, k + 1));
        bool upToDate = false;
        if (!programChip(chip, image, &upToDate)) {
            qCDebug(lcUpdate, "chip %d program error!", k);
            break;
        }
        if (upToDate)
            emit updateStep(outcomeOf(UpdateOutcome::ChipUpToDate, k + 1));
        if (chip.address == 1) {
            bool accepted = false;
            next(1, &accepted); // moves the chain past chip 1 before higher addresses are used; result ignored
        }
        ++written;
        *failure = outcomeOf(UpdateOutcome::WriteFailed, written + 1);
        if (written == chips.size())
            break;
        if (!multiChipMode.load() && !nextChip()) {
            qCDebug(lcUpdate, "get chip %d info error!", k + 1);
            break;
        }
    }
    return written;
}
