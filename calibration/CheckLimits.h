// The limits a check measures a gimbal against: sound defaults per product, which a line may
// override in a small file.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

struct CheckLimit
{
    double low = 0;
    double high = 0;
};

class CheckLimits
{
public:
    // The machine's limits file; VELMORA_LIMITS_FILE names another (for tests and benches).
    static QString machineFile();

    // The built-in limits of product row `productRow`.
    static CheckLimits defaults(int productRow);
    // The defaults of `productRow` with the file at `path` laid over them. A mistake in the
    // file refuses it whole: nullopt, and `error` names the line and what is wrong with it.
    static std::optional<CheckLimits> load(int productRow, const QString &path, QString *error);
    // load() of machineFile() when it exists, else the defaults.
    static std::optional<CheckLimits> machine(int productRow, QString *error);

    // The limits of measurement `name` ("accel_norm", ...).
    CheckLimit limit(const QString &name) const { return limits.value(name); }
    // The product row the limits are for; its gyroscope scale reads the samples.
    int productRow() const { return row; }
    // The measurement names a file may set, in the check's order.
    static QStringList names();

private:
    QMap<QString, CheckLimit> limits;
    int row = 0;
};
