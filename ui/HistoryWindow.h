// The History view's own window: the local journal's records in a sortable, filterable table, and
// beside them the Summary view of the same range and kind (yield, failures, charts).
#pragma once

#include "JournalStore.h"

#include <QWidget>

class Journal;
class JournalTableModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;
class YieldSummary;

class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    // The newest records shown at most; older ones stay in the journal.
    static constexpr int RowLimit = 10000;

    explicit HistoryWindow(Journal *journal, QWidget *parent = nullptr);

    // Reads the local journal again, records and summary; the sort and the filters stay as they are.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showCount();
    void showSummary();
    // The records the range box keeps (its start in local time).
    JournalFilter rangeFilter() const;

    Journal *journal;
    JournalTableModel *model;
    QSortFilterProxyModel *proxy;
    QLineEdit *filterEdit;
    QComboBox *kindBox;
    QComboBox *rangeBox;
    YieldSummary *summary;
    QTableView *table;
    QLabel *countLabel;
};
