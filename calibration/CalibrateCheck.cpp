// The check of CalibrateService: the gimbal at rest, after a calibration's save or on demand.
#include "CalibrateService.h"

#include "CalibrationLog.h"
#include "CheckMeasure.h"
#include "ProductTable.h"

#include <QElapsedTimer>
#include <QMutexLocker>

namespace {

constexpr int PollPauseMs = 10;
// How long a check waits for the gimbal to keep still, moves during sampling included.
constexpr qint64 StillnessTimeoutMs = 10000;
// How long a check samples the still gimbal.
constexpr qint64 SamplingMs = 2000;
// The registers a sample reads; each must have answered again since the previous sample.
constexpr RegisterIndex SensorRegisters[] = {accX, accY, accZ, gyroX, gyroY, gyroZ, motion};

// The answer counts of the sensor registers, to tell a fresh reading from the last one.
std::array<uint32_t, 7> answerCounts()
{
    std::array<uint32_t, 7> counts{};
    for (size_t i = 0; i < counts.size(); ++i)
        counts[i] = registerTable[SensorRegisters[i]].answers.load();
    return counts;
}

bool allAnsweredSince(const std::array<uint32_t, 7> &before)
{
    const std::array<uint32_t, 7> now = answerCounts();
    for (size_t i = 0; i < now.size(); ++i) {
        if (now[i] == before[i])
            return false;
    }
    return true;
}

} // namespace

void CalibrateService::setCheckLimits(const CheckLimits &limits)
{
    QMutexLocker lock(&limitsMutex);
    checkLimits = limits;
}

void CalibrateService::onCheck()
{
    checkRequested = true;
    wakeLoop();
}

CheckOutcome::Reason CalibrateService::linkEnd() const
{
    return cancelCount != runCancelMark ? CheckOutcome::Cancelled : CheckOutcome::LinkLost;
}

int CalibrateService::checkAfterSave()
{
    const std::optional<CheckOutcome> check = measureAtRest();
    if (!check)
        return CheckAfterSave;
    qCDebug(lcCalibration).noquote() << "check" << CheckOutcome::reasonName(check->reason);
    startRequested = false;
    reportEnd(check->passed(), check);
    emit calibrationFinishd(check->passed());
    return Idle;
}

int CalibrateService::checkOnDemand()
{
    const std::optional<CheckOutcome> check = measureAtRest();
    if (!check)
        return CheckOnDemand;
    qCDebug(lcCalibration).noquote() << "check" << CheckOutcome::reasonName(check->reason);
    emit checkFinished(*check);
    return Idle;
}

std::optional<CheckOutcome> CalibrateService::measureAtRest()
{
    CheckLimits limits;
    {
        QMutexLocker lock(&limitsMutex);
        limits = checkLimits;
    }
    const double gyroScale = ProductTable::row(limits.productRow()).gyroCountsPerDps;
    CheckOutcome ended;

    QElapsedTimer sinceStart;
    sinceStart.start();
    for (;;) {
        // Waiting for stillness.
        emit checkWaiting();
        for (;;) {
            if (!linkUsable()) {
                ended.reason = linkEnd();
                return ended;
            }
            if (AccelSample::fromRegisters().isStill())
                break;
            if (sinceStart.hasExpired(StillnessTimeoutMs)) {
                ended.reason = CheckOutcome::NotStill;
                return ended;
            }
            if (!pause(PollPauseMs))
                return std::nullopt;
        }

        // Sampling: only fresh readings, as long as the gimbal keeps still.
        emit checkMeasuring();
        QList<CheckSample> samples;
        QElapsedTimer sampling;
        sampling.start();
        std::array<uint32_t, 7> taken = answerCounts();
        bool moved = false;
        while (!sampling.hasExpired(SamplingMs)) {
            if (!pause(PollPauseMs))
                return std::nullopt;
            if (!linkUsable()) {
                ended.reason = linkEnd();
                return ended;
            }
            if (!allAnsweredSince(taken))
                continue;
            taken = answerCounts();
            const CheckSample sample = CheckSample::fromRegisters(gyroScale);
            if (!sample.accel.isStill()) {
                moved = true;
                break;
            }
            samples.append(sample);
        }
        if (!moved)
            return CheckMeasure::judge(samples, limits);
        qCDebug(lcCalibration) << "check: moved while sampling";
        if (sinceStart.hasExpired(StillnessTimeoutMs)) {
            ended.reason = CheckOutcome::NotStill;
            return ended;
        }
    }
}
