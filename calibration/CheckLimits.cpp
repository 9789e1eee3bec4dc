// Placeholder limits; the table and the file reader replace it.
#include "CheckLimits.h"

QString CheckLimits::machineFile()
{
    const QString given = qEnvironmentVariable("VELMORA_LIMITS_FILE");
    return given.isEmpty() ? QStringLiteral("/etc/velmora/limits.conf") : given;
}

CheckLimits CheckLimits::defaults(int productRow)
{
    Q_UNUSED(productRow);
    CheckLimits out;
    out.limits.insert(QStringLiteral("accel_norm"), {0.97, 1.03});
    out.limits.insert(QStringLiteral("accel_noise"), {0, 0.01});
    out.limits.insert(QStringLiteral("gyro_bias"), {0, 0.5});
    out.limits.insert(QStringLiteral("gyro_noise"), {0, 0.3});
    out.limits.insert(QStringLiteral("tilt"), {0, 20});
    return out;
}

std::optional<CheckLimits> CheckLimits::load(int productRow, const QString &path, QString *error)
{
    Q_UNUSED(path);
    Q_UNUSED(error);
    return defaults(productRow);
}

std::optional<CheckLimits> CheckLimits::machine(int productRow, QString *error)
{
    return load(productRow, machineFile(), error);
}
