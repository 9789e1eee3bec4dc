// The journal's records as a table: one row a record, one column a field, for the History view.
#pragma once

#include "JournalRecord.h"

#include <QAbstractTableModel>
#include <QList>

class JournalTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Time, Kind, Station, Port, Product, Outcome, Chips, Firmware, Package, Details, ColumnCount };
    // What a column sorts by: the start time as a time, every other column as its text.
    static constexpr int SortRole = Qt::UserRole;
    // The record's kind (JournalRecord::Kind as an int), on every column.
    static constexpr int KindRole = Qt::UserRole + 1;

    explicit JournalTableModel(QObject *parent = nullptr);

    void setRecords(const QList<JournalRecord> &records);
    const JournalRecord &record(int row) const { return rows.at(row); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // "1.00 → 1.05" per chip, comma-separated; a chip with no image matched shows its version alone.
    static QString firmwareChange(const JournalRecord &record);

private:
    QString text(const JournalRecord &record, int column) const;

    QList<JournalRecord> rows;
};
