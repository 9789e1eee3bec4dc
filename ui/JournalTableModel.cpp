// The History view's table over journal records.
#include "JournalTableModel.h"

#include "JournalTime.h"
#include "ProductTable.h"

#include <QCoreApplication>
#include <QStringList>

JournalTableModel::JournalTableModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void JournalTableModel::setRecords(const QList<JournalRecord> &records)
{
    beginResetModel();
    rows = records;
    endResetModel();
}

int JournalTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows.size());
}

int JournalTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString JournalTableModel::firmwareChange(const JournalRecord &record)
{
    QStringList changes;
    for (const JournalChip &chip : record.chips) {
        const QString before = chip.firmwareBefore < 0 ? QStringLiteral("?") : JournalRecord::firmwareText(chip.firmwareBefore);
        changes.append(chip.firmwareAfter < 0 ? before
                                              : QStringLiteral("%1 → %2").arg(before, JournalRecord::firmwareText(chip.firmwareAfter)));
    }
    return changes.join(QStringLiteral(", "));
}

QString JournalTableModel::text(const JournalRecord &record, int column) const
{
    const bool update = record.kind == JournalRecord::Kind::Update;
    switch (column) {
    case Time:
        return JournalTime::shown(record.started);
    case Kind:
        switch (record.kind) {
        case JournalRecord::Kind::Update: return tr("更新");
        case JournalRecord::Kind::Calibration: return tr("校准");
        case JournalRecord::Kind::Check: return tr("检查");
        }
        return QString();
    case Station:
        return record.station;
    case Port:
        return record.port;
    case Product:
        // Product names are translated where the window lists them.
        return ProductTable::isValidRow(record.productRow)
                   ? QCoreApplication::translate("MainWindow", ProductTable::row(record.productRow).name)
                   : QString();
    case Outcome:
        return record.outcome;
    case Chips: {
        QStringList ids;
        for (const JournalChip &chip : record.chips)
            ids.append(JournalRecord::hex32(chip.cpuid));
        return ids.join(QLatin1Char(' '));
    }
    case Firmware:
        return firmwareChange(record);
    case Package:
        if (record.catalogue.version.isEmpty())
            return record.packageName;
        // A catalogue's package says its release.
        return record.catalogue.channel.isEmpty() ? tr("%1 %2（目录）").arg(record.packageName, record.catalogue.version)
                                                  : tr("%1 %2（目录，%3）").arg(record.packageName, record.catalogue.version,
                                                                              record.catalogue.channel);
    case Details:
        if (update)
            return record.failedChip > 0 ? tr("%1 页，停在芯片 %2").arg(record.pagesWritten).arg(record.failedChip)
                                         : tr("%1 页").arg(record.pagesWritten);
        if (record.kind == JournalRecord::Kind::Check)
            return QString();
        return tr("%1，%2 面，%3")
            .arg(record.stepReached)
            .arg(record.faces.size())
            .arg(record.saveAcknowledged ? tr("已保存") : tr("未保存"));
    default:
        return QString();
    }
}

QVariant JournalTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size())
        return QVariant();
    const JournalRecord &record = rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return text(record, index.column());
    case SortRole:
        // The shown time has no milliseconds and depends on the time zone; the stored one sorts (as
        // a number, which compares quickly when a reading of 10,000 records is sorted).
        return index.column() == Time ? QVariant(record.started.toMSecsSinceEpoch()) : QVariant(text(record, index.column()));
    case KindRole:
        return int(record.kind);
    case Qt::ToolTipRole:
        if (index.column() == Package && !record.packageSha256.isEmpty())
            return QStringLiteral("SHA-256 %1\n%2 B").arg(record.packageSha256).arg(record.packageSize);
        if (index.column() == Port && !record.adapterSerial.isEmpty())
            return record.adapterSerial;
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant JournalTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case Time: return tr("时间");
    case Kind: return tr("类型");
    case Station: return tr("工位");
    case Port: return tr("端口");
    case Product: return tr("产品");
    case Outcome: return tr("结果");
    case Chips: return tr("芯片");
    case Firmware: return tr("固件");
    case Package: return tr("固件包");
    case Details: return tr("详情");
    default: return QVariant();
    }
}
