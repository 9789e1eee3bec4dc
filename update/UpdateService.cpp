// The update procedure: connect, list the chips, wait for a package, match it and write it.
#include "UpdateService.h"

#include "PackageFileReader.h"
#include "PtzFile.h"
#include "UpdateLog.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <memory>

using namespace BootloaderCommand;

UpdateService::UpdateService(QObject *parent)
    : QThread(parent)
    , ptzFile(new PtzFile(this))
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

void UpdateService::dataRequest(QString name)
{
    QMutexLocker lock(&eventLock);
    fileName = name;
    events |= EV_FILE;
    eventChanged.wakeAll();
}

void UpdateService::onCancel()
{
    connected.store(false);
    setEvents(EV_FRAME | EV_CONNECT);
}

void UpdateService::onRecvFrame(QByteArray bytes)
{
    QMutexLocker lock(&eventLock);
    lastFrame = bytes;
    events |= EV_FRAME;
    eventChanged.wakeAll();
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

QByteArray UpdateService::takeLastFrame()
{
    QMutexLocker lock(&eventLock);
    return lastFrame;
}

void UpdateService::run()
{
    while (!quitRequested.load())
        cycle();
    // The stop has been served here rather than cleared at the start, so a stop() that came
    // before the thread started is not lost; a later start() runs the loop again.
    quitRequested.store(false);
}

void UpdateService::fail(const QString &message)
{
    // Cleared before the report, so a connect request prompted by it is not ignored.
    connected.store(false);
    emit updateReport(-1, message);
}

bool UpdateService::connectBootloader()
{
    uint32_t seen = 0;
    // A stray frame or a cancel while idle ends the cycle without a report.
    if (!waitEvent(EV_FRAME | EV_CONNECT, ModeAny | ModeConsume, NoTimeout, &seen) || seen != EV_CONNECT)
        return false;
    if (!probe(1, probeTimeoutMs.load())) {
        qCDebug(lcUpdate, "> try connect false!");
        emit updateReport(2, tr("连接设备超时！"));
        return false;
    }
    connected.store(true);
    emit updateReport(1, tr("连接设备成功！"));
    return true;
}

void UpdateService::cycle()
{
    if (!connected.load() && !connectBootloader())
        return;

    emit updateReport(0, tr("正在获取设备信息"));
    QList<chipInfo> chips;
    if (!listChips(&chips)) {
        fail(tr("获取设备信息失败！"));
        return;
    }
    emit updateReport(0, tr("获取设备信息成功！"));
    qCDebug(lcUpdate) << "list size:" << chips.size();
    QList<deviceInfo> rows;
    const bool multi = multiChipMode.load();
    for (const chipInfo &chip : std::as_const(chips)) {
        qCDebug(lcUpdate) << "cpu:" << chip.cpuidBytes().toHex().toUpper() << "size:" << chip.flashSize;
        rows.append(deviceInfo::fromChip(chip, multi));
    }
    emit deviceListUpdate(rows);
    emit getDataRequest();
    qCDebug(lcUpdate) << ">> comm: data request";

    uint32_t seen = 0;
    if (!waitEvent(EV_FRAME | EV_CONNECT | EV_FILE, ModeAny | ModeConsume, NoTimeout, &seen) || seen != EV_FILE)
        return; // connected stays as it is: the next cycle lists again unless a cancel came
    QString path;
    {
        QMutexLocker lock(&eventLock);
        path = fileName;
    }
    qCDebug(lcUpdate) << ">> comm: file" << path;
    const qint64 started = elapsedClock();

    // Never blocks on a pipe or device and never loads more than a package can be.
    const PackageFileReader::Result file = PackageFileReader::read(path);
    if (file.outcome == PackageFileReader::Outcome::TooLarge) {
        qCDebug(lcUpdate).noquote() << "> file larger than" << PackageFileReader::sizeLimitText()
                                    << "(the most a package may be), not read:" << file.size << "bytes";
        fail(tr("固件文件格式无效！"));
        return;
    }
    if (file.outcome != PackageFileReader::Outcome::Ok) {
        qCDebug(lcUpdate) << "error";
        fail(tr("固件文件不存在或无法访问！"));
        return;
    }
    qCDebug(lcUpdate) << file.bytes.size();
    if (!ptzFile->unpack(file.bytes)) {
        fail(tr("固件文件格式无效！"));
        return;
    }
    const ptzHeader &package = ptzFile->header();
    emit updateReport(0, tr("获取固件文件信息"));
    // unpack accepts only packages whose count equals the records read.
    for (int k = 0; k < package.images.size(); ++k) {
        const ptzImage &image = package.images.at(k);
        emit updateReport(0, QString::asprintf("固件%d: 结构:%04X, 硬件:%04X, 固件:V%0.2f", k + 1,
                                                package.arch, image.hardware, image.firmware / 100.0));
    }
    if (!matchPackage(chips))
        return;

    const int written = writeChips(chips);
    const qint64 elapsed = elapsedClock() - started;
    connected.store(false); // every update needs a new connection
    if (written == chips.size()) {
        emit updateReport(3, tr("更新完成，用时%1s，运行新固件！").arg(QString::number(elapsed / 1000.0)));
        sendWithoutReply(RUN);
    } else {
        emit updateReport(-1, tr("设备%1更新失败，重启至升级模式！").arg(written + 1));
        sendWithoutReply(RESTART);
    }
    qCDebug(lcUpdate).nospace() << "time: " << elapsed;
}

bool UpdateService::matchPackage(const QList<chipInfo> &chips)
{
    const ptzHeader &package = ptzFile->header();
    if (chips.size() != package.count || chips.size() != package.images.size()) {
        fail(tr("固件文件与设备不匹配，请使用正确的固件文件！"));
        return false;
    }
    bool hardwareMatches = true;
    for (int k = 0; k < chips.size(); ++k) {
        qCDebug(lcUpdate) << "HW:" << chips.at(k).hardware << package.images.at(k).hardware;
        if (chips.at(k).hardware != package.images.at(k).hardware)
            hardwareMatches = false;
    }
    if (!hardwareMatches) {
        fail(tr("固件与设备硬件不匹配，请使用正确的固件文件！"));
        return false;
    }
    // The whole package is built for one structure; the first chip stands for the gimbal.
    if (chips.first().arch != package.arch) {
        qCDebug(lcUpdate) << "ARCH:" << chips.first().arch << package.arch;
        fail(tr("固件与设备结构不匹配，请使用正确的固件文件！"));
        return false;
    }
    return true;
}

int UpdateService::writeChips(const QList<chipInfo> &chips)
{
    const QList<ptzImage> &images = ptzFile->header().images;
    int written = 0;
    for (int k = 0; k < chips.size() && k < images.size(); ++k) {
        const ptzImage &image = images.at(k);
        chipInfo chip;
        if (!getInfo(chips.at(k).address, &chip)) {
            connected.store(false);
            qCDebug(lcUpdate, "> get cpu info error!");
            emit updateReport(-1, tr("获取设备%1信息失败！").arg(k + 1));
            break;
        }
        qCDebug(lcUpdate,
                ">> cpuid:%08X, pagesize: %d, pagenum: %d, falshsize: %u, bl:%04X, hw:%04X, fw:%0.2f, sn:%08X",
                chip.cpuid, chip.pageSize, chip.pageCount, chip.flashSize, chip.boot, chip.hardware,
                chip.firmware / 100.0, chip.serial);
        if (chip.flashSize < uint64_t(image.data.size())) {
            qCDebug(lcUpdate, "chip %d flash size overflow!", k + 1);
            emit updateReport(-1, tr("设备%1固件大小溢出！").arg(k + 1));
            break;
        }
        emit updateReport(0, tr("正在更新设备%1固件").arg(k + 1));
        if (!programChip(chip, image)) {
            qCDebug(lcUpdate, "chip %d program error!", k);
            break;
        }
        if (chip.address == 1)
            next(1); // moves the chain past chip 1 before higher addresses are used; result ignored
        ++written;
        if (written == chips.size())
            break;
        if (!multiChipMode.load() && !nextChip()) {
            qCDebug(lcUpdate, "get chip %d info error!", k + 1);
            break;
        }
    }
    return written;
}
