#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "BootloaderLink.h"
#include "CalibrateService.h"
#include "CalibrationWords.h"
#include "HistoryWindow.h"
#include "Journal.h"
#include "LinkHints.h"
#include "MetaTypes.h"
#include "PortListener.h"
#include "ProductTable.h"
#include "RegisterTable.h"
#include "ResourcePaths.h"
#include "SensorPlotWindow.h"
#include "SensorReadout.h"
#include "SerialPort.h"
#include "StarsLink.h"
#include "StarsService.h"
#include "SystemPortEnumerator.h"
#include "UiLog.h"
#include "UpdateService.h"
#include "StopUpdateQuestion.h"
#include "WindowSettings.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kReadoutMs = 20;
// How long a close waits for the journal's sender to leave a server that does not answer.
constexpr int kJournalStopMs = 2500;

} // namespace

MainWindow::MainWindow(PortEnumerator *portEnumerator, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
    , productIndex(ProductTable::DefaultRow)
    , activeTab(0)
{
    ui->setupUi(this);
    setUpFirmwareTab();

    linkUp = false;
    calibrating = false;
    portOpened = false;
    servicesStopped = false;
    // A package file may be dropped anywhere on the window, whichever tab shows.
    setAcceptDrops(true);

    port = new SerialPort;
    enumerator = portEnumerator ? portEnumerator : new SystemPortEnumerator;
    enumerator->setParent(this);

    portNames = listedPortNames();
    fillPortBox();
    if (portNames.isEmpty()) {
        ui->comboBox_port->setEnabled(false);
        ui->openportButton->setEnabled(false);
    }
    tellMissingAdapter();

    portListener = new PortListener(port);
    starsLink = new StarsLink;
    starsService = new StarsService;
    calibrateService = new CalibrateService(this);
    bootloaderLink = new BootloaderLink;
    updateService = new UpdateService;
    uiTimer = new QTimer(this);
    linkHints = new LinkHints(this);

    registerQueuedMetaTypes();
    registerUpdateMetaTypes();

    // Wired in the order the data flows: timers, services, link, port worker, port list.
    // The port list is refreshed when the enumerator reports a change (udev's notices on
    // Linux) instead of listing every port twice a second.
    connect(enumerator, &PortEnumerator::portsChanged, this, &MainWindow::onTimerUpdate);
    connect(uiTimer, &QTimer::timeout, this, &MainWindow::onUiUpdate);
    connect(calibrateService, &CalibrateService::transmit, starsService, &StarsService::onTransmit);
    connect(starsService, &StarsService::connected, calibrateService, &CalibrateService::onConnected);
    connect(starsService, &StarsService::connected, this, &MainWindow::onConnected);
    connect(calibrateService, &CalibrateService::directionChanged, this, &MainWindow::onDirectionChanged);
    connect(calibrateService, &CalibrateService::calibrationFinishd, this, &MainWindow::onFinishd);
    connect(calibrateService, &CalibrateService::gyroscopeStepStarted, this, &MainWindow::onGyroscopeStep);
    connect(calibrateService, &CalibrateService::calibrationOutcome, this, &MainWindow::onCalibrationOutcome);
    connect(starsService, &StarsService::saveFinshed, calibrateService, &CalibrateService::onSaveFinshed);
    // The framing steps run directly in the thread that hands them bytes: encoding in the
    // service's loop, parsing (and storing the answer) in the port worker. Each is safe there
    // (encoding has no state, the parser is fed by the worker alone, the service's slot takes
    // its lock), and a frame then crosses two threads instead of four: at 100 exchanges a
    // second that halves the thread wake-ups of a connected, idle window.
    connect(starsLink, &StarsLink::recvFrame, starsService, &StarsService::onRecvFrame, Qt::DirectConnection);
    connect(starsService, &StarsService::transmitPacket, starsLink, &StarsLink::transmit, Qt::DirectConnection);
    connect(updateService, &UpdateService::progressUpdate, this, &MainWindow::onProgressUpdate);
    connect(updateService, &UpdateService::updateStep, this, &MainWindow::onUpdateStep);
    connect(updateService, &UpdateService::connectTimeout, this, &MainWindow::onConnectTimeout);
    connect(updateService, &UpdateService::updateReport, this, &MainWindow::onUpdateReport);
    connect(updateService, &UpdateService::chipsListed, this, &MainWindow::onChipsListed);
    connect(updateService, &UpdateService::deviceListUpdate, this, &MainWindow::deviceListUpdate);
    connect(updateService, &UpdateService::updateOutcome, this, &MainWindow::onUpdateOutcome);
    // The bootloader link's framing runs directly in the calling thread too, for the same
    // reasons (frames are encoded without state, the parser is fed by the port worker alone and
    // the service's slot takes its lock): a page and its answer never wait for the GUI thread,
    // so a busy window does not slow an update down.
    connect(bootloaderLink, &BootloaderLink::recvFrame, updateService, &UpdateService::onRecvFrame, Qt::DirectConnection);
    connect(bootloaderLink, &BootloaderLink::frameBytesArrived, updateService, &UpdateService::onFrameBytes, Qt::DirectConnection);
    connect(updateService, &UpdateService::transmitBytes, bootloaderLink, &BootloaderLink::transmitBytes, Qt::DirectConnection);
    connect(portListener, &PortListener::readBytes, starsLink, &StarsLink::parser, Qt::DirectConnection);
    connect(starsLink, &StarsLink::streamOut, portListener, &PortListener::writeBytes);
    connect(starsLink, &StarsLink::rxFlush, portListener, &PortListener::flush);
    connect(enumerator, &PortEnumerator::deviceDiscovered, this, &MainWindow::onDeviceDiscovered);
    connect(enumerator, &PortEnumerator::deviceRemoved, this, &MainWindow::onDeviceRemoved);
    connect(port, &SerialPort::closedUnexpectedly, this, &MainWindow::onPortLost);
    connect(linkHints, &LinkHints::hint, this, &MainWindow::showStatus);

    uiTimer->setInterval(kReadoutMs);
    // Frames that arrive while no port is open were read before a close; they must not count.
    starsService->setPortOpen(false);

    starsService->start(QThread::InheritPriority);
    calibrateService->start(QThread::InheritPriority);
    updateService->start(QThread::InheritPriority);

    // A read-out box's value changes up to 50 times a second. A box that fills its own
    // background is repainted alone; otherwise every change repaints the group box, the tab
    // and the window behind it.
    for (QDoubleSpinBox *box : ui->tab->findChildren<QDoubleSpinBox *>())
        box->setAutoFillBackground(true);
    QDoubleSpinBox *const boxes[8] = {ui->doubleSpinBox_Ax, ui->doubleSpinBox_Ay,   ui->doubleSpinBox_Az,
                                      ui->doubleSpinBox_Gx, ui->doubleSpinBox_Gy,   ui->doubleSpinBox_Gz,
                                      ui->doubleSpinBox_Amod, ui->doubleSpinBox_Gmod};
    for (int i = 0; i < 8; ++i)
        readoutBoxes[i] = ReadoutBox(boxes[i]);

    // The sensor plot opens from the calibration tab's corner, beside its tab, and the history
    // from both tabs' corner, left of it, so the plot's place stays where it was; the window's
    // first size and the top row stay as they are.
    auto *corner = new QWidget(ui->tabWidget);
    auto *cornerLayout = new QHBoxLayout(corner);
    cornerLayout->setContentsMargins(0, 0, 0, 0);
    cornerLayout->setSpacing(0);
    historyButton = new QToolButton(corner);
    historyButton->setObjectName(QStringLiteral("historyButton"));
    historyButton->setText(tr("历史记录"));
    historyButton->setToolTip(tr("更新与校准的记录"));
    historyButton->setAutoRaise(true);
    catalogueButton = new QToolButton(corner);
    catalogueButton->setObjectName(QStringLiteral("catalogueButton"));
    catalogueButton->setText(tr("目录..."));
    catalogueButton->setToolTip(tr("固件目录的地址与通道"));
    catalogueButton->setAutoRaise(true);
    catalogueButton->hide();
    plotButton = new QToolButton(corner);
    plotButton->setObjectName(QStringLiteral("plotButton"));
    plotButton->setText(tr("曲线"));
    plotButton->setToolTip(tr("传感器曲线"));
    plotButton->setAutoRaise(true);
    cornerLayout->addWidget(historyButton);
    cornerLayout->addWidget(catalogueButton);
    cornerLayout->addWidget(plotButton);
    ui->tabWidget->setCornerWidget(corner, Qt::TopRightCorner);
    connect(historyButton, &QToolButton::clicked, this, &MainWindow::showHistoryWindow);
    connect(plotButton, &QToolButton::clicked, this, &MainWindow::showPlotWindow);
    // Follows the tab shown, not the signal's index: a refused switch back to the calibration
    // tab (an update being written) puts the firmware tab back during this same signal.
    connect(ui->tabWidget, &QTabWidget::currentChanged, plotButton,
            [this] {
                plotButton->setVisible(ui->tabWidget->currentIndex() == 0);
                catalogueButton->setVisible(ui->tabWidget->currentIndex() == 1);
            });

    ui->svgviewer->load(ResourcePaths::disconnectPicture);
    ui->calibrateButton->setEnabled(false);
    // The bootloader connect button belongs to the firmware tab only.
    ui->connectButton->hide();

    for (int row = 0; row < ProductTable::RowCount; ++row)
        ui->productType->addItem(tr(ProductTable::row(row).name));
    ui->productType->setCurrentIndex(ProductTable::DefaultRow);
    setUpWords();
    setUpCheck();
    setUpJournal();
    setUpSignatureWidgets();
    setUpCatalogue();
    journal->startSending();
    restoreSettings();
}

MainWindow::~MainWindow()
{
    stopServices();
    recordOpenAttempts();
    // The port worker and the links own threads: end them before the process does, the port
    // first closed so that its device is released from its own thread. The worker goes before
    // the services, because the links hand received frames to the services directly from the
    // worker's thread: a frame arriving during the services' deletion would reach a freed object.
    port->close();
    delete portListener;
    delete starsService;
    delete calibrateService;
    delete updateService;
    delete uiTimer;
    delete ui;

    delete starsLink;
    // Its thread ends first (its destructor waits for it), after the worker that fed it.
    delete bootloaderLink;
    delete port;
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    // Giving up a write leaves the gimbal in its bootloader: the user decides.
    if (updateWriting && !servicesStopped) {
        if (!StopUpdateQuestion::ask(this)) {
            e->ignore();
            return;
        }
        // The update stays marked as unfinished, for the next start.
        updateWriting = false;
    }
    uiTimer->stop();
    catalogueOffer->cancel();
    if (plotWindow)
        plotWindow->close();
    if (historyWindow)
        historyWindow->close();
    stopServices();
    recordOpenAttempts();
    // A sender blocked on a silent server is left behind rather than waited for.
    if (!journal->stopSending(kJournalStopMs))
        qCWarning(lcUi) << "the journal's sender did not stop; records not yet sent wait for the next start";
    e->accept();
}

void MainWindow::stopServices()
{
    if (servicesStopped)
        return;
    servicesStopped = true;
    // Each loop watches its quit flag in every wait, so these return promptly.
    starsService->stop();
    starsService->wait();
    calibrateService->stop();
    calibrateService->wait();
    updateService->stop();
    updateService->wait();
}

void MainWindow::showStatus(const QString &text)
{
    ui->statusBar->showMessage(text);
}

void MainWindow::onUiUpdate()
{
    const ProductRow &product = ProductTable::row(productIndex);
    const SensorReadout r = SensorReadout::fromRaw(
        registerTable[accX].signedValue(), registerTable[accY].signedValue(), registerTable[accZ].signedValue(),
        registerTable[gyroX].signedValue(), registerTable[gyroY].signedValue(), registerTable[gyroZ].signedValue(),
        product.gyroCountsPerDps);
    const int16_t status = registerTable[calibStatus].signedValue();

    const float shown[8] = {r.ax, r.ay, r.az, r.gx, r.gy, r.gz, r.amod, r.gmod};
    for (int i = 0; i < 8; ++i)
        readoutBoxes[i].show(shown[i]);
    if (plotWindow)
        plotWindow->addSample(r);
    linkHints->readings(registerTable[accX].value.load() == 0 && registerTable[accY].value.load() == 0
                        && registerTable[accZ].value.load() == 0 && registerTable[gyroX].value.load() == 0
                        && registerTable[gyroY].value.load() == 0 && registerTable[gyroZ].value.load() == 0);

    // The gimbal reports itself ready for calibration with bit 15 of its status (a negative value).
    if (!calibrating && !checking && linkUp && !ui->calibrateButton->isEnabled() && status < 0 && r.amod != 0.0f
        && port->isOpen())
        ui->calibrateButton->setEnabled(true);
}

void MainWindow::showPlotWindow()
{
    if (!plotWindow)
        plotWindow = new SensorPlotWindow(this);
    plotWindow->show();
    plotWindow->raise();
    plotWindow->activateWindow();
}

void MainWindow::updateReadoutTimer()
{
    if (portOpened || linkUp) {
        if (!uiTimer->isActive())
            uiTimer->start();
    } else if (uiTimer->isActive()) {
        uiTimer->stop();
        onUiUpdate(); // shows the zeroed table once more
    }
}

void MainWindow::on_calibrateButton_clicked()
{
    // The check after the save measures against the same limits as the Check button.
    clearCheckFigures();
    if (!takeCheckLimits())
        return;
    calibrating = true;
    ui->calibrateButton->setEnabled(false);
    updateCheckButton();
    beginCalibrationRun();
    calibrateService->onStart();
    showStatus(tr("请按步骤完成操作！"));
}

void MainWindow::onDirectionChanged(int index)
{
    calibrationStep = index + 1; // faces 1 to 6 are the run's steps 2 to 7
    ui->groupBox_image->setTitle(tr("步骤 %1").arg(index));
    stepWords->setText(CalibrationWords::faceStep(index));
    ui->svgviewer->load(ResourcePaths::stepPicture(QLatin1String(ProductTable::row(productIndex).pictureSet), index));
}

void MainWindow::onConnected(bool value)
{
    linkUp = value;
    linkAnnounced = value;
    linkHints->linkChanged(value);
    if (value) {
        ui->svgviewer->load(ResourcePaths::connectPicture);
        showStatus(tr("已连接！"));
    } else {
        calibrating = false;
        // Another gimbal may come: its check failures are counted afresh.
        calibrationCheckFailures = 0;
        clearCheckFigures();
        ui->calibrateButton->setEnabled(false);
        ui->groupBox_image->setTitle(tr("步骤"));
        stepWords->clear();
        ui->svgviewer->load(ResourcePaths::disconnectPicture);
        showStatus(tr("连接已断开！"));
    }
    updateCheckButton();
    updateReadoutTimer();
    qCDebug(lcUi) << "win connected" << value;
}

void MainWindow::onFinishd(bool value)
{
    if (value) {
        ui->svgviewer->load(ResourcePaths::successPicture);
        showStatus(tr("校准完成！"));
    } else {
        ui->svgviewer->load(ResourcePaths::failPicture);
        showStatus(tr("校准失败，请重新校准！"));
    }
    calibrating = false;
    stepWords->clear();
    updateCheckButton();
}

void MainWindow::on_productType_currentIndexChanged(int index)
{
    // Another product cancels the update; "keep writing" puts the product back.
    if (settingsRestored && index != productIndex && !mayStopUpdate()) {
        const QSignalBlocker blocker(ui->productType);
        ui->productType->setCurrentIndex(productIndex);
        return;
    }
    productIndex = ProductTable::isValidRow(index) ? index : ProductTable::DefaultRow;
    applyProduct(productIndex);
    if (settingsRestored)
        WindowSettings::setProductRow(productIndex);
    // Another product is polled from now on: its silence is counted afresh.
    if (linkHints && portOpened && activeTab == 0)
        linkHints->setWatching(true, productName());
}

void MainWindow::applyProduct(int row)
{
    starsService->onCancel();
    calibrateService->onCancel();
    checkLinkLost();
    cancelUpdate();
    if (!ProductTable::isValidRow(row))
        return;
    starsService->setRegisterProfile(ProductTable::row(row).registerProfile);
    updateService->setMultiChip(ProductTable::row(row).multiChip);
}
