#include "CheckMeasure.h"

#include "RegisterTable.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;

using Vector = std::array<double, 3>;

double length(const Vector &v)
{
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

// Mean and population standard deviation of `values`.
void meanAndDeviation(const QList<double> &values, double *mean, double *deviation)
{
    double sum = 0;
    for (double v : values)
        sum += v;
    *mean = sum / values.size();
    double squares = 0;
    for (double v : values)
        squares += (v - *mean) * (v - *mean);
    *deviation = std::sqrt(squares / values.size());
}

CheckMeasurement measured(const char *name, double value, const CheckLimits &limits, const char *unit)
{
    const QString key = QString::fromLatin1(name);
    const CheckLimit limit = limits.limit(key);
    return {key, value, limit.low, limit.high, QString::fromLatin1(unit)};
}

} // namespace

CheckSample CheckSample::fromRaw(const std::array<int16_t, 3> &acc, const std::array<int16_t, 3> &gyro,
                                 int16_t motion, double gyroCountsPerDps)
{
    CheckSample sample;
    sample.accel = AccelSample::fromRaw(acc[0], acc[1], acc[2], motion);
    for (size_t i = 0; i < 3; ++i)
        sample.rate[i] = gyro[i] / gyroCountsPerDps;
    return sample;
}

CheckSample CheckSample::fromRegisters(double gyroCountsPerDps)
{
    return fromRaw({registerTable[accX].signedValue(), registerTable[accY].signedValue(),
                    registerTable[accZ].signedValue()},
                   {registerTable[gyroX].signedValue(), registerTable[gyroY].signedValue(),
                    registerTable[gyroZ].signedValue()},
                   registerTable[RegisterIndex::motion].signedValue(), gyroCountsPerDps);
}

namespace CheckMeasure {

int nearestFace(const Vector &mean)
{
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    if (!(length(mean) > 0))
        return 0;
    for (size_t i = 0; i < faceTargets.size(); ++i) {
        const FaceTarget &t = faceTargets[i];
        const double distance = length({mean[0] - t.x, mean[1] - t.y, mean[2] - t.z});
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(i) + 1;
        }
    }
    return best;
}

CheckOutcome judge(const QList<CheckSample> &samples, const CheckLimits &limits)
{
    CheckOutcome outcome;
    outcome.samples = int(samples.size());
    outcome.reason = CheckOutcome::NotStill;
    if (samples.size() < MinSamples)
        return outcome;
    for (const CheckSample &sample : samples) {
        if (!sample.accel.isStill())
            return outcome;
    }

    Vector accelSum{0, 0, 0};
    Vector rateSum{0, 0, 0};
    QList<double> accelModuli;
    QList<double> rateModuli;
    for (const CheckSample &sample : samples) {
        const Vector accel{sample.accel.ax, sample.accel.ay, sample.accel.az};
        for (size_t i = 0; i < 3; ++i) {
            accelSum[i] += accel[i];
            rateSum[i] += sample.rate[i];
        }
        accelModuli.append(length(accel));
        rateModuli.append(length(sample.rate));
    }
    const double n = double(samples.size());
    const Vector accelMean{accelSum[0] / n, accelSum[1] / n, accelSum[2] / n};
    const Vector rateMean{rateSum[0] / n, rateSum[1] / n, rateSum[2] / n};
    double unused = 0;
    double accelNoise = 0;
    double rateNoise = 0;
    meanAndDeviation(accelModuli, &unused, &accelNoise);
    meanAndDeviation(rateModuli, &unused, &rateNoise);

    const double norm = length(accelMean);
    outcome.face = nearestFace(accelMean);
    double tilt = std::numeric_limits<double>::quiet_NaN();
    if (outcome.face > 0) {
        const FaceTarget &t = faceTargets[size_t(outcome.face - 1)];
        const double cosine = (accelMean[0] * t.x + accelMean[1] * t.y + accelMean[2] * t.z) / norm;
        tilt = std::acos(std::fmin(1.0, std::fmax(-1.0, cosine))) * 180.0 / kPi;
    }

    outcome.measurements = {
        measured("accel_norm", norm, limits, "g"),
        measured("accel_noise", accelNoise, limits, "g"),
        measured("gyro_bias", length(rateMean), limits, "deg/s"),
        measured("gyro_noise", rateNoise, limits, "deg/s"),
        measured("tilt", tilt, limits, "deg"),
    };
    outcome.reason = outcome.firstFailing() ? CheckOutcome::Failed : CheckOutcome::Passed;
    return outcome;
}

} // namespace CheckMeasure
