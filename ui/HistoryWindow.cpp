// The History window: its table, the text filter and the kind choice.
#include "HistoryWindow.h"

#include "Journal.h"
#include "JournalTableModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
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
    , table(new QTableView(this))
    , countLabel(new QLabel(this))
{
    setWindowTitle(tr("历史记录"));
    setObjectName(QStringLiteral("HistoryWindow"));
    resize(900, 420);

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
    });

    auto *controls = new QHBoxLayout;
    controls->addWidget(filterEdit, 1);
    controls->addWidget(kindBox);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(controls);
    layout->addWidget(table, 1);
    layout->addWidget(countLabel);
}

void HistoryWindow::refresh()
{
    QString error;
    QList<JournalRecord> records;
    if (JournalStore *store = journal->local(&error)) {
        JournalFilter newest;
        newest.limit = RowLimit;
        records = store->find(newest, &error);
    }
    model->setRecords(records);
    if (!error.isEmpty()) {
        countLabel->setText(tr("无法读取记录：%1").arg(error));
        return;
    }
    table->resizeColumnsToContents();
    showCount();
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
