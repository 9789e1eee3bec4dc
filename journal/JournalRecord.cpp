// Records as JSON and CSV, and the start of a new one.
#include "JournalRecord.h"

#include "VelmoraVersion.h"

#include <QJsonArray>
#include <cmath>

namespace {

QString csvField(const QString &text)
{
    // A spreadsheet reads a field starting with =, +, - or @ as a formula; none of ours does,
    // but a port name or station is the user's text.
    QString field = text;
    if (!field.isEmpty() && QStringLiteral("=+-@").contains(field.front()))
        field.prepend(QLatin1Char('\''));
    if (field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) || field.contains(QLatin1Char('\n'))
        || field.contains(QLatin1Char('\r')) || field != text)
        return QLatin1Char('"') + field.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    return field;
}

QString isoTime(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

} // namespace

QString JournalRecord::kindName(Kind kind)
{
    switch (kind) {
    case Kind::Update: return QStringLiteral("update");
    case Kind::Calibration: return QStringLiteral("calibration");
    case Kind::Check: return QStringLiteral("check");
    }
    return QString();
}

bool JournalRecord::kindFromName(const QString &name, Kind *kind)
{
    if (name == QLatin1String("update"))
        *kind = Kind::Update;
    else if (name == QLatin1String("calibration"))
        *kind = Kind::Calibration;
    else if (name == QLatin1String("check"))
        *kind = Kind::Check;
    else
        return false;
    return true;
}

JournalRecord JournalRecord::begin(Kind kind)
{
    JournalRecord record;
    record.id = QUuid::createUuid();
    record.kind = kind;
    record.started = now();
    record.version = QStringLiteral(VELMORA_VERSION);
    return record;
}

QDateTime JournalRecord::now()
{
    // Milliseconds are what the journal keeps; anything finer would differ after a round trip.
    return QDateTime::fromMSecsSinceEpoch(QDateTime::currentMSecsSinceEpoch(), Qt::UTC);
}

QString JournalRecord::firmwareText(int firmware)
{
    return firmware < 0 ? QString() : QString::asprintf("%0.2f", firmware / 100.0);
}

QJsonObject JournalRecord::toJson() const
{
    QJsonObject object{
        {QStringLiteral("id"), id.toString(QUuid::WithoutBraces)},
        {QStringLiteral("kind"), kindName(kind)},
        {QStringLiteral("station"), station},
        {QStringLiteral("version"), version},
        {QStringLiteral("started"), isoTime(started)},
        {QStringLiteral("ended"), isoTime(ended)},
        {QStringLiteral("port"), port},
        {QStringLiteral("adapterSerial"), adapterSerial},
        {QStringLiteral("unitSerial"), unitSerial},
        {QStringLiteral("productRow"), productRow},
        {QStringLiteral("outcome"), outcome},
    };
    if (failedChip > 0)
        object.insert(QStringLiteral("failedChip"), failedChip);
    if (!failedStep.isEmpty())
        object.insert(QStringLiteral("failedStep"), failedStep);
    if (kind == Kind::Update) {
        QJsonObject package{{QStringLiteral("name"), packageName}, {QStringLiteral("sha256"), packageSha256}};
        if (packageSize >= 0)
            package.insert(QStringLiteral("size"), packageSize);
        if (packageArch >= 0)
            package.insert(QStringLiteral("arch"), hex16(uint16_t(packageArch)));
        if (!signature.isEmpty())
            package.insert(QStringLiteral("signature"), signature);
        if (!signatureKey.isEmpty())
            package.insert(QStringLiteral("signatureKey"), signatureKey);
        object.insert(QStringLiteral("package"), package);
        QJsonArray list;
        for (const JournalChip &chip : chips) {
            list.append(QJsonObject{
                {QStringLiteral("position"), chip.position},
                {QStringLiteral("address"), chip.address},
                {QStringLiteral("cpuid"), hex32(chip.cpuid)},
                {QStringLiteral("serial"), hex32(chip.serial)},
                {QStringLiteral("hardware"), hex16(chip.hardware)},
                {QStringLiteral("boot"), hex16(chip.boot)},
                {QStringLiteral("firmwareBefore"), firmwareText(chip.firmwareBefore)},
                {QStringLiteral("firmwareAfter"), firmwareText(chip.firmwareAfter)},
                {QStringLiteral("result"), chip.result},
            });
        }
        object.insert(QStringLiteral("chips"), list);
        object.insert(QStringLiteral("pagesWritten"), pagesWritten);
        object.insert(QStringLiteral("endCommand"), endCommand);
        if (!checkResult.isEmpty())
            object.insert(QStringLiteral("check"), checkResult);
        // Only a package the catalogue chose has an origin; what is not known is left out.
        if (catalogue.isSet()) {
            QJsonObject origin{{QStringLiteral("url"), catalogue.url}};
            if (catalogue.sequence >= 0)
                origin.insert(QStringLiteral("sequence"), catalogue.sequence);
            if (!catalogue.version.isEmpty())
                origin.insert(QStringLiteral("version"), catalogue.version);
            if (!catalogue.channel.isEmpty())
                origin.insert(QStringLiteral("channel"), catalogue.channel);
            object.insert(QStringLiteral("catalogue"), origin);
        }
    } else {
        if (kind == Kind::Calibration) {
            object.insert(QStringLiteral("stepReached"), stepReached);
            object.insert(QStringLiteral("faces"), facesJson());
            object.insert(QStringLiteral("saveAcknowledged"), saveAcknowledged);
        }
        QJsonArray figures;
        for (const CheckMeasurement &m : measurements)
            figures.append(QJsonObject{{QStringLiteral("name"), m.name},
                                       {QStringLiteral("value"), std::isnan(m.value) ? QJsonValue() : QJsonValue(m.value)},
                                       {QStringLiteral("low"), m.low},
                                       {QStringLiteral("high"), m.high},
                                       {QStringLiteral("unit"), m.unit},
                                       {QStringLiteral("passed"), m.passed()}});
        object.insert(QStringLiteral("measurements"), figures);
    }
    return object;
}

QString JournalRecord::csvHeader()
{
    return QStringLiteral("id,kind,station,started,ended,port,adapter_serial,product_row,outcome,failed_chip,"
                          "failed_step,package_name,package_sha256,chips,pages_written,end_command,step_reached,"
                          "save_acknowledged,version,package_size,package_arch,package_signature,package_signature_key,check,"
                          "faces,catalogue_url,catalogue_sequence,catalogue_version,catalogue_channel,measurements,unit_serial");
}

QString JournalRecord::toCsv() const
{
    // The chips in one field, "cpuid/hardware/serial before>after result" a chip, ';' between.
    QStringList chipTexts;
    for (const JournalChip &chip : chips)
        chipTexts.append(QStringLiteral("%1/%2/%3 %4>%5 %6")
                             .arg(hex32(chip.cpuid), hex16(chip.hardware), hex32(chip.serial),
                                  firmwareText(chip.firmwareBefore), firmwareText(chip.firmwareAfter), chip.result));
    // The faces in one field, "x y z" in g a face, ';' between.
    QStringList faceTexts;
    for (const auto &face : faces)
        faceTexts.append(QStringLiteral("%1 %2 %3").arg(face[0]).arg(face[1]).arg(face[2]));
    // The measurements in one field, "name value low..high unit passed|failed" each, ';' between.
    QStringList figureTexts;
    for (const CheckMeasurement &m : measurements)
        figureTexts.append(QStringLiteral("%1 %2 %3..%4 %5 %6")
                               .arg(m.name)
                               .arg(m.value)
                               .arg(m.low)
                               .arg(m.high)
                               .arg(m.unit, m.passed() ? QStringLiteral("passed") : QStringLiteral("failed")));
    const bool update = kind == Kind::Update;
    // The columns after `version` came later; they stay after it so older readers keep theirs.
    const QStringList fields{
        id.toString(QUuid::WithoutBraces),
        kindName(kind),
        station,
        isoTime(started),
        isoTime(ended),
        port,
        adapterSerial,
        QString::number(productRow),
        outcome,
        failedChip > 0 ? QString::number(failedChip) : QString(),
        failedStep,
        packageName,
        packageSha256,
        chipTexts.join(QLatin1Char(';')),
        update ? QString::number(pagesWritten) : QString(),
        endCommand,
        stepReached,
        kind != Kind::Calibration ? QString() : (saveAcknowledged ? QStringLiteral("yes") : QStringLiteral("no")),
        version,
        update && packageSize >= 0 ? QString::number(packageSize) : QString(),
        update && packageArch >= 0 ? hex16(uint16_t(packageArch)) : QString(),
        update ? signature : QString(),
        update ? signatureKey : QString(),
        update ? checkResult : QString(),
        faceTexts.join(QLatin1Char(';')),
        update ? catalogue.url : QString(),
        update && catalogue.sequence >= 0 ? QString::number(catalogue.sequence) : QString(),
        update ? catalogue.version : QString(),
        update ? catalogue.channel : QString(),
        figureTexts.join(QLatin1Char(';')),
        unitSerial,
    };
    QStringList quoted;
    for (const QString &field : fields)
        quoted.append(csvField(field));
    return quoted.join(QLatin1Char(','));
}

QJsonArray JournalRecord::facesJson() const
{
    QJsonArray list;
    for (const auto &face : faces)
        list.append(QJsonArray{face[0], face[1], face[2]});
    return list;
}

QList<std::array<double, 3>> JournalRecord::facesFromJson(const QJsonArray &list)
{
    QList<std::array<double, 3>> faces;
    for (const QJsonValue &face : list) {
        const QJsonArray xyz = face.toArray();
        faces.append({xyz.at(0).toDouble(), xyz.at(1).toDouble(), xyz.at(2).toDouble()});
    }
    return faces;
}
