// The per-product limits of the check and the file that overrides them.
#include "CheckLimits.h"

#include "ProductTable.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <cmath>

namespace {

struct Defaults
{
    CheckLimit accelNorm;
    CheckLimit accelNoise;
    CheckLimit gyroBias;
    CheckLimit gyroNoise;
    CheckLimit tilt;
};

// Why each default is what it is:
// - accel_norm 0.97 to 1.03 g: a calibrated accelerometer reads gravity within 3 %; the face
//   capture accepts 0.3 g per axis, so a scale or offset error the solve did not remove shows
//   here first.
// - accel_noise at most 0.01 g: 41 counts at 4096 counts per g. The sensor at rest scatters
//   about 0.001 g (the simulator draws up to 0.002 g per axis, a standard deviation near
//   0.0012 g); eight times that is a table that shakes or a failing sensor.
// - gyro_bias at most 0.5 deg/s: what the gyroscope step must null; a drifting gimbal holds
//   its horizon badly well before 1 deg/s.
// - gyro_noise at most 0.3 deg/s (coarse gyroscope, 16.4 counts per deg/s) or 0.2 deg/s (fine,
//   32.8 counts per deg/s): about five or six counts, so the rounding of the words alone never
//   fails; the simulator's still noise (up to 0.15 deg/s per axis) spreads the rate's modulus
//   by about 0.05 deg/s.
// - tilt at most 10 deg: a face resting on a firm, level surface lies within a few degrees of
//   its target; 10 leaves room for a table's slope and a case, and still catches a gimbal
//   propped between faces (45 deg half-way) or an axis error above about 0.17 g.
constexpr Defaults kCoarseGyro{{0.97, 1.03}, {0, 0.01}, {0, 0.5}, {0, 0.3}, {0, 10}};
constexpr Defaults kFineGyro{{0.97, 1.03}, {0, 0.01}, {0, 0.5}, {0, 0.2}, {0, 10}};

// Below this many counts per deg/s the product has the coarse gyroscope.
constexpr float kFineGyroCounts = 30.0f;

// One override line: what it sets.
struct Line
{
    QString name;
    CheckLimit limit;
};

QString lineError(const QString &path, int number, const QString &reason)
{
    return QStringLiteral("%1:%2: %3").arg(path).arg(number).arg(reason);
}

bool readNumber(const QString &text, double *value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    return ok && std::isfinite(*value);
}

} // namespace

QString CheckLimits::machineFile()
{
    const QString given = qEnvironmentVariable("VELMORA_LIMITS_FILE");
    return given.isEmpty() ? QStringLiteral("/etc/velmora/limits.conf") : given;
}

QStringList CheckLimits::names()
{
    return {QStringLiteral("accel_norm"), QStringLiteral("accel_noise"), QStringLiteral("gyro_bias"),
            QStringLiteral("gyro_noise"), QStringLiteral("tilt")};
}

CheckLimits CheckLimits::defaults(int productRow)
{
    const int row = ProductTable::isValidRow(productRow) ? productRow : ProductTable::DefaultRow;
    const Defaults &d = ProductTable::row(row).gyroCountsPerDps < kFineGyroCounts ? kCoarseGyro : kFineGyro;
    CheckLimits out;
    out.row = row;
    const QStringList keys = names();
    const CheckLimit values[] = {d.accelNorm, d.accelNoise, d.gyroBias, d.gyroNoise, d.tilt};
    for (int i = 0; i < keys.size(); ++i)
        out.limits.insert(keys[i], values[i]);
    return out;
}

std::optional<CheckLimits> CheckLimits::load(int productRow, const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    static const QRegularExpression section(QStringLiteral("^\\[\\s*product\\s+(\\S+)\\s*\\]$"));
    static const QRegularExpression setting(QStringLiteral("^(\\S+)\\s*=\\s*(.*)$"));
    const QStringList known = names();

    // -1: the lines before any section, which apply to every product.
    int current = -1;
    QSet<QPair<int, QString>> seen;
    QSet<int> sections;
    QList<Line> general;
    QList<Line> own;
    int number = 0;
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = lineError(path, number, reason);
        return std::nullopt;
    };
    while (!file.atEnd()) {
        ++number;
        QString text = QString::fromUtf8(file.readLine());
        const int hash = text.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            text.truncate(hash);
        text = text.trimmed();
        if (text.isEmpty())
            continue;
        if (text.startsWith(QLatin1Char('['))) {
            const QRegularExpressionMatch m = section.match(text);
            if (!m.hasMatch())
                return fail(QStringLiteral("a section is written [product ROW]"));
            bool ok = false;
            const int row = m.captured(1).toInt(&ok);
            if (!ok || !ProductTable::isValidRow(row))
                return fail(QStringLiteral("unknown product \"%1\" (rows 0 to %2)").arg(m.captured(1)).arg(ProductTable::RowCount - 1));
            if (sections.contains(row))
                return fail(QStringLiteral("product %1 has a section already").arg(row));
            sections.insert(row);
            current = row;
            continue;
        }
        const QRegularExpressionMatch m = setting.match(text);
        if (!m.hasMatch())
            return fail(QStringLiteral("expected \"name = low high\""));
        const QString name = m.captured(1);
        if (!known.contains(name))
            return fail(QStringLiteral("unknown measurement \"%1\"").arg(name));
        const QStringList values = m.captured(2).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (values.size() < 2)
            return fail(QStringLiteral("%1: missing value (low and high are both needed)").arg(name));
        if (values.size() > 2)
            return fail(QStringLiteral("%1: more than two values").arg(name));
        CheckLimit limit;
        if (!readNumber(values[0], &limit.low))
            return fail(QStringLiteral("%1: \"%2\" is not a number").arg(name, values[0]));
        if (!readNumber(values[1], &limit.high))
            return fail(QStringLiteral("%1: \"%2\" is not a number").arg(name, values[1]));
        if (limit.low > limit.high)
            return fail(QStringLiteral("%1: low %2 is above high %3").arg(name).arg(limit.low).arg(limit.high));
        if (seen.contains({current, name}))
            return fail(QStringLiteral("%1 is set twice").arg(name));
        seen.insert({current, name});
        if (current < 0)
            general.append({name, limit});
        else if (current == productRow)
            own.append({name, limit});
    }

    CheckLimits out = defaults(productRow);
    // A product's own section wins over the lines for every product.
    for (const Line &line : general)
        out.limits.insert(line.name, line.limit);
    for (const Line &line : own)
        out.limits.insert(line.name, line.limit);
    return out;
}

std::optional<CheckLimits> CheckLimits::machine(int productRow, QString *error)
{
    if (!QFile::exists(machineFile()))
        return defaults(productRow);
    return load(productRow, machineFile(), error);
}
