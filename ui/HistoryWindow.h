// The History view's own window: the local journal's records in a sortable, filterable table.
#pragma once

#include <QWidget>

class Journal;
class JournalTableModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QTableView;

class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    // The newest records shown at most; older ones stay in the journal.
    static constexpr int RowLimit = 10000;

    explicit HistoryWindow(Journal *journal, QWidget *parent = nullptr);

    // Reads the local journal again; the sort and the filters stay as they are.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showCount();

    Journal *journal;
    JournalTableModel *model;
    QSortFilterProxyModel *proxy;
    QLineEdit *filterEdit;
    QComboBox *kindBox;
    QTableView *table;
    QLabel *countLabel;
};
