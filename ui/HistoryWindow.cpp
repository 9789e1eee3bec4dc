// The History window: its table, the text filter and the kind choice.
#include "HistoryWindow.h"

#include "Journal.h"
#include "JournalTableModel.h"
#include "YieldSummary.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace {

// Text matching any column, and one kind of record or both.
class HistoryFilter : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    // -1: every kind; otherwise a JournalRecord::Kind as an int.
    void setKind(int value)
    {
        kind = value;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override
    {
        if (kind >= 0 && sourceModel()->index(row, 0, parent).data(JournalTableModel::KindRole).toInt() != kind)
            return false;
        return QSortFilterProxyModel::filterAcceptsRow(row, parent);
    }

private:
    int kind = -1;
};

} // namespace

HistoryWindow::HistoryWindow(Journal *journalToShow, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , journal(journalToShow)
    , model(new JournalTableModel(this))
    , proxy(new HistoryFilter(this))
    , filterEdit(new QLineEdit(this))
    , kindBox(new QComboBox(this))
    , rangeBox(new QComboBox(this))
    , summary(new YieldSummary(this))
    , table(new QTableView(this))
    , countLabel(new QLabel(this))
{
    setWindowTitle(tr("历史记录"));
    setObjectName(QStringLiteral("HistoryWindow"));
    resize(1000, 540);

    proxy->setSourceModel(model);
    proxy->setSortRole(JournalTableModel::SortRole);
    proxy->setFilterKeyColumn(-1);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);

    filterEdit->setObjectName(QStringLiteral("historyFilter"));
    filterEdit->setPlaceholderText(tr("筛选：任一列含有的文字"));
    filterEdit->setClearButtonEnabled(true);
    kindBox->setObjectName(QStringLiteral("historyKind"));
    kindBox->addItem(tr("全部"), -1);
    kindBox->addItem(tr("更新"), int(JournalRecord::Kind::Update));
    kindBox->addItem(tr("校准"), int(JournalRecord::Kind::Calibration));
    // Days back from the start of today; -1 for every record.
    rangeBox->setObjectName(QStringLiteral("historyRange"));
    rangeBox->addItem(tr("全部时间"), -1);
    rangeBox->addItem(tr("今天"), 0);
    rangeBox->addItem(tr("最近 7 天"), 6);
    rangeBox->addItem(tr("最近 30 天"), 29);
    countLabel->setObjectName(QStringLiteral("historyCount"));
    countLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);

    table->setObjectName(QStringLiteral("historyTable"));
    table->setModel(proxy);
    table->setSortingEnabled(true);
    table->sortByColumn(JournalTableModel::Time, Qt::DescendingOrder);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table->horizontalHeader()->setStretchLastSection(true);

    connect(filterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        proxy->setFilterFixedString(text);
        showCount();
    });
    connect(kindBox, &QComboBox::currentIndexChanged, this, [this] {
        static_cast<HistoryFilter *>(proxy)->setKind(kindBox->currentData().toInt());
        showCount();
        showSummary();
    });
    connect(rangeBox, &QComboBox::currentIndexChanged, this, &HistoryWindow::refresh);

    auto *controls = new QHBoxLayout;
    controls->addWidget(filterEdit, 1);
    controls->addWidget(kindBox);
    controls->addWidget(rangeBox);
    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(table);
    splitter->addWidget(summary);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(controls);
    layout->addWidget(splitter, 1);
    layout->addWidget(countLabel);
}

JournalFilter HistoryWindow::rangeFilter() const
{
    JournalFilter filter;
    const int days = rangeBox->currentData().toInt();
    if (days >= 0)
        filter.since = QDateTime(QDate::currentDate().addDays(-days), QTime(0, 0));
    return filter;
}

void HistoryWindow::showSummary()
{
    QString error;
    JournalStore *store = journal->local(&error);
    JournalFilter filter = rangeFilter();
    const int kind = kindBox->currentData().toInt();
    if (kind >= 0)
        filter.kind = JournalRecord::Kind(kind);
    const auto report = store ? YieldReport::compute(*store, filter, &error) : std::nullopt;
    if (report)
        summary->showReport(*report);
    else
        summary->showError(error);
}

void HistoryWindow::refresh()
{
    QString error;
    QList<JournalRecord> records;
    if (JournalStore *store = journal->local(&error)) {
        JournalFilter newest = rangeFilter();
        newest.limit = RowLimit;
        records = store->find(newest, &error);
    }
    model->setRecords(records);
    if (!error.isEmpty()) {
        countLabel->setText(tr("无法读取记录：%1").arg(error));
        showSummary();
        return;
    }
    table->resizeColumnsToContents();
    showCount();
    showSummary();
}

void HistoryWindow::showCount()
{
    countLabel->setText(tr("显示 %1 / %2 条记录").arg(proxy->rowCount()).arg(model->rowCount()));
}

void HistoryWindow::showEvent(QShowEvent *event)
{
    refresh();
    QWidget::showEvent(event);
}
