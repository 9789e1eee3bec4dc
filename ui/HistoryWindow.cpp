// The History window: its table, the text filter and the kind choice, and the reads behind them.
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

// How long a read waits for another process's write lock on the local file.
constexpr int LocalWaitMs = 5000;
// What the summary's statements are given on the shared journal (reaching it takes the listing's
// budget): a report over a large journal takes longer than a listing, and the window does not
// wait for it.
constexpr int SharedSummaryBudgetMs = 30000;

std::function<void()> &beforeSummary()
{
    static std::function<void()> hook;
    return hook;
}

// The yield report of the records `filter` keeps, on a connection of this thread's own.
std::optional<YieldReport> reportOf(JournalStore::Backend backend, const QString &target, int timeoutMs, const JournalFilter &filter,
                                    QString *error)
{
    JournalStore store;
    if (!store.open(backend, target, timeoutMs, error) || !store.setStatementBudget(SharedSummaryBudgetMs, error))
        return std::nullopt;
    return YieldReport::compute(store, filter, error);
}

// Text matching any column, and one kind of record or every kind.
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
    , recordsRun([this](const RecordsRead &read) { showRecords(read); })
    , summaryRun([this](const SummaryRead &read) { showSummary(read); })
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
    kindBox->addItem(tr("检查"), int(JournalRecord::Kind::Check));
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
    // Column widths from the newest few hundred records, not from all of them.
    table->horizontalHeader()->setResizeContentsPrecision(200);

    connect(filterEdit, &QLineEdit::textChanged, this, [this](const QString &text) {
        proxy->setFilterFixedString(text);
        showCount();
        requestSummary();
    });
    connect(kindBox, &QComboBox::currentIndexChanged, this, [this] {
        static_cast<HistoryFilter *>(proxy)->setKind(kindBox->currentData().toInt());
        showCount();
        requestSummary();
    });
    connect(rangeBox, &QComboBox::currentIndexChanged, this, &HistoryWindow::refresh);
    // A shared journal's summary changes when this station's records reach it.
    connect(journal, &Journal::sent, this, [this] {
        if (isVisible() && journal->hasShared())
            requestSummary();
    });

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

void HistoryWindow::setBeforeSummary(std::function<void()> hook)
{
    beforeSummary() = std::move(hook);
}

void HistoryWindow::refresh()
{
    JournalFilter newest = rangeFilter();
    newest.limit = RowLimit;
    recordsRun.request([path = journal->config().localPath, newest] {
        RecordsRead read;
        JournalStore store;
        if (store.open(JournalStore::Backend::Local, path, LocalWaitMs, &read.error))
            read.records = store.find(newest, &read.error);
        return read;
    });
    requestSummary();
}

void HistoryWindow::showRecords(const RecordsRead &read)
{
    model->setRecords(read.records);
    if (!read.error.isEmpty()) {
        countLabel->setText(tr("无法读取记录：%1").arg(read.error));
        return;
    }
    // Once: later reads keep the widths the user may have set.
    if (!columnsSized && !read.records.isEmpty()) {
        table->resizeColumnsToContents();
        columnsSized = true;
    }
    showCount();
}

// The summary of the shared journal when one is set (this machine's when it cannot be read, as the
// command line's listing does), else of the local one.
void HistoryWindow::requestSummary()
{
    JournalFilter filter = rangeFilter();
    if (const int kind = kindBox->currentData().toInt(); kind >= 0)
        filter.kind = JournalRecord::Kind(kind);
    filter.text = filterEdit->text();
    summary->showComputing();
    summaryRun.request([config = journal->config(), filter, hook = beforeSummary()] {
        if (hook)
            hook();
        SummaryRead read;
        if (!config.sharedUri.isEmpty()) {
            const QString shared = JournalConfig::describe(config.sharedUri);
            read.error = JournalConfig::checkSharedUri(config.sharedUri);
            if (read.error.isEmpty())
                read.report = reportOf(JournalStore::Backend::Shared, config.sharedUri, JournalConfig::SharedBudgetMs, filter, &read.error);
            if (read.report) {
                read.note = tr("共享日志 %1 的汇总").arg(shared);
                return read;
            }
            read.note = tr("共享日志 %1 无法读取（%2），以下为本机记录的汇总").arg(shared, read.error.simplified());
            read.error.clear();
        }
        read.report = reportOf(JournalStore::Backend::Local, config.localPath, LocalWaitMs, filter, &read.error);
        return read;
    });
}

void HistoryWindow::showSummary(const SummaryRead &read)
{
    if (read.report)
        summary->showReport(*read.report, read.note);
    else
        summary->showError(read.error);
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
