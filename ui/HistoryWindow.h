// The History view's own window: the local journal's records in a sortable, filterable table, and
// beside them the Summary view of the same range, kind and text (yield, failures, charts), of the
// shared journal when one is set. Both are read in worker threads, each on a connection of its own,
// so that the window keeps repainting.
#pragma once

#include "JournalStore.h"
#include "LatestRun.h"
#include "YieldReport.h"

#include <QWidget>
#include <functional>

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
    // Each shows when it arrives; the records shown meanwhile stay usable.
    void refresh();

    // Records or a summary are being read (or wait to be).
    bool isReading() const { return recordsRun.isBusy() || summaryRun.isBusy(); }

    // Tests only: run in the worker before each summary is computed (a test holds it there).
    static void setBeforeSummary(std::function<void()> hook);

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct RecordsRead
    {
        QList<JournalRecord> records;
        QString error;
    };
    struct SummaryRead
    {
        std::optional<YieldReport> report;
        QString error;
        QString note; // which journal it summarises, when a shared one is set
    };

    void showCount();
    void requestSummary();
    void showRecords(const RecordsRead &read);
    void showSummary(const SummaryRead &read);
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
    bool columnsSized = false;
    LatestRun<RecordsRead> recordsRun;
    LatestRun<SummaryRead> summaryRun;
};
