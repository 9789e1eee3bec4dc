// The flashing station's window for an operator.
#include "StationWindow.h"

#include "CatalogueIndex.h"
#include "CatalogueSettings.h"
#include "CheckedPackage.h"
#include "Journal.h"
#include "JournalStore.h"
#include "PackageSignature.h"
#include "ProductTable.h"
#include "StationTile.h"
#include "UnitSerial.h"
#include "YieldReport.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QStyleHints>
#include <QVBoxLayout>
#include <cmath>

namespace {

// The journal's figures for today (local) on `station`, on a connection of this thread's own.
StationWindow::Shift readShift(const JournalConfig &config)
{
    StationWindow::Shift shift;
    JournalStore store;
    if (!store.open(JournalStore::Backend::Local, config.localPath, 2000, &shift.error))
        return shift;
    JournalFilter filter;
    filter.since = QDateTime(QDate::currentDate(), QTime(0, 0)).toUTC();
    filter.station = config.station;
    filter.kind = JournalRecord::Kind::Update;
    const std::optional<YieldReport> report = YieldReport::compute(store, filter, &shift.error);
    if (!report)
        return shift;
    shift.passed = report->total.finalPassed;
    shift.failed = report->total.gimbals - report->total.finalPassed;
    shift.firstPassYield = report->total.firstPassYield();
    return shift;
}

// The listed chips with the firmware each had: "2 chips (firmware 1.05 / 1.05)".
QString chipsText(const FlashSession *session)
{
    QStringList firmware;
    for (const deviceInfo &chip : session->devices())
        firmware.append(chip.firmware);
    return StationWindow::tr("%n 个芯片（固件 %1）", nullptr, int(firmware.size())).arg(firmware.join(QStringLiteral(" / ")));
}

} // namespace

bool StationWindow::parseOptions(const QStringList &arguments, Options *options, QString *error)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        const bool valued = a == QLatin1String("--package") || a == QLatin1String("--product") || a == QLatin1String("--from-catalogue");
        if (a == QLatin1String("--station") || a == QLatin1String("--verbose"))
            continue;
        if (a == QLatin1String("--check")) {
            options->check = true;
            continue;
        }
        if (!valued) {
            *error = QStringLiteral("--station: unknown option '%1'").arg(a);
            return false;
        }
        if (i + 1 >= arguments.size()) {
            *error = QStringLiteral("--station: %1 needs a value").arg(a);
            return false;
        }
        const QString value = arguments.at(++i);
        if (a == QLatin1String("--package")) {
            options->package = value;
        } else if (a == QLatin1String("--from-catalogue")) {
            if (value != QLatin1String("latest") && !CatalogueVersions::valid(value)) {
                *error = QStringLiteral("--station: --from-catalogue takes latest or a version such as 1.07, not '%1'").arg(value);
                return false;
            }
            options->fromCatalogue = value;
        } else {
            bool ok = false;
            options->productRow = value.toInt(&ok);
            if (!ok || !ProductTable::isValidRow(options->productRow)) {
                *error = QStringLiteral("--station: --product takes a row from 0 to %1, not '%2'").arg(ProductTable::RowCount - 1).arg(value);
                return false;
            }
        }
    }
    if (!options->package.isEmpty() && !options->fromCatalogue.isEmpty()) {
        *error = QStringLiteral("--station: --package and --from-catalogue exclude each other");
        return false;
    }
    return true;
}

StationWindow::StationWindow(const Options &o, Journal *j, QWidget *parent)
    : QMainWindow(parent)
    , options(o)
    , journal(j)
    , shiftRun([this](const Shift &shift) { showShift(shift); })
{
    setObjectName(QStringLiteral("StationWindow"));
    setWindowTitle(tr("Velmora 工位"));
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    setCentralWidget(central);
    buildTop();

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("固件包："), central));
    top->addWidget(packageBox, 1);
    top->addWidget(browseButton);
    top->addWidget(catalogueButton);
    top->addWidget(productBox);
    top->addWidget(checkBox);
    top->addWidget(startButton);
    layout->addLayout(top);
    layout->addWidget(shiftLabel);
    layout->addWidget(noticeLabel);
    auto *scanRow = new QHBoxLayout;
    scanRow->addWidget(new QLabel(tr("扫描序列号："), central));
    scanRow->addWidget(scan, 1);
    scanRow->addWidget(scanLabel, 2);
    layout->addLayout(scanRow);
    grid = new QWidget(central);
    gridLayout = new QGridLayout(grid);
    gridLayout->setSpacing(8);
    layout->addWidget(grid, 1);
    for (QWidget *w : central->findChildren<QWidget *>())
        w->setFocusPolicy(Qt::NoFocus);
    scan->setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(scan);

    // F11: the bench's screen is the station's alone.
    auto *fullScreen = new QShortcut(QKeySequence(Qt::Key_F11), this);
    connect(fullScreen, &QShortcut::activated, this, [this] { isFullScreen() ? showNormal() : showFullScreen(); });
    // The scan field keeps the focus: a scanner types into whatever has it.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && now != scan && now->window() == this)
            scan->setFocus();
    });

    refreshShift();
    if (options.productRow >= 0 && (!options.package.isEmpty() || !options.fromCatalogue.isEmpty()))
        QMetaObject::invokeMethod(this, [this] { startStation(); }, Qt::QueuedConnection);
}

StationWindow::~StationWindow() = default;

void StationWindow::buildTop()
{
    QWidget *central = centralWidget();
    packageBox = new QLineEdit(central);
    packageBox->setReadOnly(true);
    packageBox->setObjectName(QStringLiteral("packageBox"));
    packageBox->setPlaceholderText(tr("选择固件包，或使用固件目录"));
    packageBox->setText(options.fromCatalogue.isEmpty() ? options.package : tr("固件目录：%1").arg(options.fromCatalogue));
    browseButton = new QPushButton(tr("浏览..."), central);
    connect(browseButton, &QPushButton::clicked, this, &StationWindow::choosePackage);
    // The maker's catalogue instead of a file: each gimbal gets the latest release for its chips.
    catalogueButton = new QPushButton(tr("使用固件目录"), central);
    connect(catalogueButton, &QPushButton::clicked, this, [this] {
        if (!mayChange())
            return;
        options.package.clear();
        options.fromCatalogue = QStringLiteral("latest");
        packageBox->setText(tr("固件目录：%1").arg(options.fromCatalogue));
    });
    productBox = new QComboBox(central);
    productBox->setObjectName(QStringLiteral("productBox"));
    for (int row = 0; row < ProductTable::RowCount; ++row)
        productBox->addItem(QCoreApplication::translate("MainWindow", ProductTable::row(row).name));
    productBox->setCurrentIndex(options.productRow >= 0 ? options.productRow : ProductTable::DefaultRow);
    connect(productBox, &QComboBox::activated, this, [this](int row) {
        if (row == options.productRow || mayChange()) {
            options.productRow = row;
        } else {
            productBox->setCurrentIndex(options.productRow);
        }
    });
    checkBox = new QCheckBox(tr("检查新固件是否运行"), central);
    checkBox->setChecked(options.check);
    connect(checkBox, &QCheckBox::toggled, this, [this](bool on) {
        if (on == options.check || mayChange())
            options.check = on;
        else
            checkBox->setChecked(options.check);
    });
    startButton = new QPushButton(tr("开始"), central);
    startButton->setObjectName(QStringLiteral("startButton"));
    connect(startButton, &QPushButton::clicked, this, &StationWindow::onStartClicked);
    shiftLabel = new QLabel(central);
    shiftLabel->setObjectName(QStringLiteral("shiftLabel"));
    QFont big = shiftLabel->font();
    big.setPixelSize(22);
    big.setBold(true);
    shiftLabel->setFont(big);
    noticeLabel = new QLabel(central);
    noticeLabel->setObjectName(QStringLiteral("noticeLabel"));
    noticeLabel->setWordWrap(true);
    noticeLabel->hide();
    scan = new QLineEdit(central);
    scan->setObjectName(QStringLiteral("scanField"));
    // A scanner types keys: an input method (a Chinese one above all) must not take them.
    scan->setAttribute(Qt::WA_InputMethodEnabled, false);
    scan->setInputMethodHints(Qt::ImhLatinOnly | Qt::ImhNoPredictiveText);
    scan->setMaxLength(4 * UnitSerial::MaxLength);
    scan->setPlaceholderText(tr("扫描产品标签上的序列号"));
    // A steady cursor: a blinking one would wake the idle station twice a second.
    QGuiApplication::styleHints()->setCursorFlashTime(0);
    connect(scan, &QLineEdit::returnPressed, this, &StationWindow::onScan);
    scanLabel = new QLabel(central);
    scanLabel->setObjectName(QStringLiteral("scanWords"));
}

QString StationWindow::scanWords() const
{
    return scanLabel->text();
}

void StationWindow::notice(const QString &words)
{
    noticeLabel->setText(words);
    noticeLabel->setVisible(!words.isEmpty());
}

bool StationWindow::mayChange()
{
    if (station && station->busyCount() > 0) {
        notice(tr("正在写入固件：写入结束前不能更换固件包或设置"));
        return false;
    }
    // Nothing is being written: the running station ends; Start begins one with the new choice.
    stopStation();
    return true;
}

void StationWindow::choosePackage()
{
    if (station && station->busyCount() > 0) {
        notice(tr("正在写入固件：写入结束前不能更换固件包或设置"));
        return;
    }
    const QString path = QFileDialog::getOpenFileName(this, tr("选择固件包"), QFileInfo(options.package).absolutePath(),
                                                      QCoreApplication::translate("MainWindow", "PTZ 固件 (*.ptz)"));
    if (path.isEmpty() || !mayChange())
        return;
    options.package = path;
    options.fromCatalogue.clear();
    packageBox->setText(path);
}

void StationWindow::onStartClicked()
{
    if (station) {
        if (mayChange())
            notice(QString());
        return;
    }
    startStation();
}

bool StationWindow::startStation()
{
    if (station)
        return true;
    options.productRow = productBox->currentIndex();
    Station::Settings settings;
    settings.productRow = options.productRow;
    settings.connectTimeoutMs = 30000;
    settings.check = options.check;
    settings.recordAttempts = journal != nullptr;
    settings.requireSerial = UnitSerial::required();
    std::optional<CheckedPackage> package;
    if (!options.fromCatalogue.isEmpty()) {
        CatalogueClient::Settings client;
        client.location = CatalogueSettings::location();
        if (client.location.isEmpty()) {
            notice(tr("没有设置固件目录"));
            return false;
        }
        client.trusted = TrustedKeys::load();
        settings.catalogueClient = client;
        settings.catalogueRequest = {options.fromCatalogue, CatalogueSettings::channel(), false};
    } else {
        // Every gimbal gets these bytes, read and checked once, here (signed only when the
        // machine requires it).
        const PackageCheck checked = CheckedPackage::open(options.package, false);
        if (!checked.accepted()) {
            notice(options.package.isEmpty() ? tr("请选择固件包") : tr("固件包被拒绝：%1").arg(checked.detail()));
            return false;
        }
        package = checked.package;
    }
    notice(settings.requireSerial ? tr("本工位要求先扫描序列号再写入") : QString());
    station = std::make_unique<Station>(settings, package);
    wireStation();
    station->start();
    startButton->setText(tr("停止"));
    return true;
}

void StationWindow::stopStation()
{
    if (!station)
        return;
    station->stop();
    station.reset();
    startButton->setText(tr("开始"));
}

void StationWindow::wireStation()
{
    Station *s = station.get();
    connect(s, &Station::adapterAppeared, this, [this](const QString &port) { tileFor(port); });
    connect(s, &Station::adapterTaken, this, [this](const QString &port) {
        StationTile *t = tileFor(port);
        t->beginGimbal();
        if (!station->unitSerial(port).isEmpty())
            t->setUnitSerial(station->unitSerial(port));
        t->setPhase(tr("连接中"));
    });
    connect(s, &Station::serialWanted, this, [this](const QString &port) {
        StationTile *t = tileFor(port);
        t->beginGimbal();
        t->setPhase(tr("等待扫描序列号"));
    });
    connect(s, &Station::serialTied, this, [this](const QString &port, const QString &serial) {
        tileFor(port)->setUnitSerial(serial);
        scanLabel->setText(QStringLiteral("%1 → %2").arg(serial, port));
    });
    connect(s, &Station::sessionChanged, this, [this](const QString &port, FlashSession::Change change) {
        if (change == FlashSession::Change::Chips && station->session(port))
            tileFor(port)->setChips(chipsText(station->session(port)));
    });
    connect(s, &Station::progressed, this, [this](const QString &port, FlashSession::State state, int percent, int secondsLeft) {
        QString words;
        switch (state) {
        case FlashSession::State::Opening:
        case FlashSession::State::Connecting:
        case FlashSession::State::Connected: words = tr("连接中"); break;
        case FlashSession::State::Listing: words = tr("读取芯片"); break;
        case FlashSession::State::Fetching: words = tr("获取固件"); break;
        case FlashSession::State::Writing:
            words = secondsLeft >= 0 ? tr("写入 %1 %，剩余 %2 秒").arg(percent).arg(secondsLeft) : tr("写入 %1 %").arg(percent);
            tileFor(port)->showProgress(percent);
            break;
        case FlashSession::State::Done: return;
        }
        tileFor(port)->setPhase(words);
    });
    connect(s, &Station::checkStarted, this, [this](const QString &port) { tileFor(port)->setPhase(tr("检查新固件")); });
    connect(s, &Station::attemptConcluded, this, &StationWindow::onConcluded);
    connect(s, &Station::adapterGone, this, [this](const QString &port) {
        StationTile *t = tiles.value(port);
        if (!t)
            return;
        // A verdict stays until the next gimbal on the adapter; a tile with none goes.
        if (t->verdict() == StationTile::Verdict::None) {
            tiles.remove(port);
            if (picked == port)
                picked.clear();
            t->deleteLater();
            arrangeTiles();
        } else {
            t->setUnplugged();
        }
    });
    connect(s, &Station::finished, this, [this] {
        // Closed from the event loop: the station is not deleted inside its own signal.
        if (closing)
            QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    });
}

void StationWindow::onConcluded(const QString &port, const JournalRecord &record, Station::Result result, BootCheck)
{
    QString word = record.outcome;
    if (word.isEmpty()) // not recorded: the station's own result
        word = result == Station::Result::Failed ? QStringLiteral("write-failed") : QStringLiteral("success");
    QString words = StationTile::outcomeWords(word);
    if (result == Station::Result::UpToDate)
        words = tr("固件已是最新");
    tileFor(port)->conclude(StationTile::verdictOf(word), word, words);
    if (journal && !record.id.isNull()) {
        journal->record(record);
        refreshShift();
    }
}

void StationWindow::onScan()
{
    const QString typed = scan->text();
    scan->clear();
    if (!station) {
        scanLabel->setText(tr("请先开始工位"));
        return;
    }
    const QString serial = UnitSerial::normalized(typed);
    const QString port = picked;
    switch (station->tieSerial(typed, port)) {
    case Station::SerialTie::Tied: // serialTied said where it went
        break;
    case Station::SerialTie::Held:
        scanLabel->setText(port.isEmpty() ? tr("%1：插入的下一台使用").arg(serial) : tr("%1：%2 的下一台使用").arg(serial, port));
        break;
    case Station::SerialTie::Invalid:
        scanLabel->setText(typed.trimmed().isEmpty() ? QString() : tr("不是序列号：%1").arg(typed.trimmed()));
        break;
    case Station::SerialTie::InUse: scanLabel->setText(tr("%1 已在使用").arg(serial)); break;
    }
    pick(QString());
}

void StationWindow::pick(const QString &port)
{
    if (StationTile *old = tiles.value(picked))
        old->setPicked(false);
    picked = port == picked ? QString() : port;
    if (StationTile *now = tiles.value(picked))
        now->setPicked(true);
    scan->setFocus();
}

StationTile *StationWindow::tileFor(const QString &port)
{
    if (StationTile *t = tiles.value(port))
        return t;
    auto *t = new StationTile(port, grid);
    connect(t, &StationTile::clicked, this, &StationWindow::pick);
    tiles.insert(port, t);
    arrangeTiles();
    return t;
}

void StationWindow::arrangeTiles()
{
    while (gridLayout->count() > 0)
        delete gridLayout->takeAt(0);
    QStringList ports = tiles.keys();
    std::sort(ports.begin(), ports.end());
    // As square a grid as the count allows: three tiles side by side, four as two by two.
    const int columns = qMax(1, int(std::ceil(std::sqrt(double(ports.size())))));
    for (int i = 0; i < ports.size(); ++i)
        gridLayout->addWidget(tiles.value(ports.at(i)), i / columns, i % columns);
}

void StationWindow::refreshShift()
{
    if (!journal)
        return;
    shiftRun.request([config = journal->config()] { return readShift(config); });
}

void StationWindow::showShift(const Shift &shift)
{
    const QString yield = shift.firstPassYield ? QString::number(*shift.firstPassYield * 100, 'f', 1) + QStringLiteral(" %") : QStringLiteral("—");
    shiftLabel->setText(tr("今天：合格 %1　不合格 %2　一次通过率 %3").arg(shift.passed).arg(shift.failed).arg(yield));
    emit shiftShown();
}

void StationWindow::closeEvent(QCloseEvent *event)
{
    if (!station || station->busyCount() == 0) {
        stopStation();
        event->accept();
        return;
    }
    if (!closing) {
        const auto answer = QMessageBox::question(this, tr("正在写入固件"),
                                                  tr("有 %1 台云台正在写入固件。现在关闭会安全地停止写入（云台需要重新升级）。确定关闭吗？")
                                                      .arg(station->busyCount()),
                                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
        // Each running write ends safely (RESTART); the window closes once the station has ended.
        closing = true;
        notice(tr("正在安全停止写入…"));
        station->stop();
        station->cancel();
    }
    event->ignore();
}
