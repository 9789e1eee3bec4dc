#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "BootloaderLink.h"
#include "CalibrateService.h"
#include "CalibrationWords.h"
#include "LinkHints.h"
#include "MetaTypes.h"
#include "PortListener.h"
#include "PortTexts.h"
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
#include "WindowSettings.h"
#include "StopUpdateQuestion.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int kReadoutMs = 20;

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
    connect(updateService, &UpdateService::deviceListUpdate, this, &MainWindow::deviceListUpdate);
    // The bootloader link's framing runs directly in the calling thread too, for the same
    // reasons (frames are encoded without state, the parser is fed by the port worker alone and
    // the service's slot takes its lock): a page and its answer never wait for the GUI thread,
    // so a busy window does not slow an update down.
    connect(bootloaderLink, &BootloaderLink::recvFrame, updateService, &UpdateService::onRecvFrame, Qt::DirectConnection);
    connect(bootloaderLink, &BootloaderLink::bytesArrived, updateService, &UpdateService::onLineBytes, Qt::DirectConnection);
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

    // The sensor plot opens from the calibration tab's corner, beside its tab; the window's
    // first size and the top row stay as they are.
    plotButton = new QToolButton(ui->tabWidget);
    plotButton->setObjectName(QStringLiteral("plotButton"));
    plotButton->setText(tr("曲线"));
    plotButton->setToolTip(tr("传感器曲线"));
    plotButton->setAutoRaise(true);
    ui->tabWidget->setCornerWidget(plotButton, Qt::TopRightCorner);
    connect(plotButton, &QToolButton::clicked, this, &MainWindow::showPlotWindow);
    connect(ui->tabWidget, &QTabWidget::currentChanged, plotButton, [this](int index) { plotButton->setVisible(index == 0); });

    ui->svgviewer->load(ResourcePaths::disconnectPicture);
    ui->calibrateButton->setEnabled(false);
    // The bootloader connect button belongs to the firmware tab only.
    ui->connectButton->hide();

    for (int row = 0; row < ProductTable::RowCount; ++row)
        ui->productType->addItem(tr(ProductTable::row(row).name));
    ui->productType->setCurrentIndex(ProductTable::DefaultRow);
    setUpWords();
    restoreSettings();
}

MainWindow::~MainWindow()
{
    stopServices();
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
    if (plotWindow)
        plotWindow->close();
    stopServices();
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

QStringList MainWindow::listedPortNames() const
{
    QStringList names;
    const QList<PortInfo> ports = enumerator->availablePorts();
    for (const PortInfo &info : ports) {
        if (isGimbalAdapter(info))
            names.append(info.portName);
    }
    return names;
}

// The names as the port list holds them; each row tells its adapter's description and serial
// number in its tool tip, so that two adapters of one kind can be told apart.
void MainWindow::fillPortBox()
{
    ui->comboBox_port->clear();
    const QList<PortInfo> ports = enumerator->availablePorts();
    for (const QString &name : std::as_const(portNames)) {
        QString tip;
        for (const PortInfo &info : ports) {
            if (info.portName == name && isGimbalAdapter(info)) {
                tip = info.serialNumber.isEmpty() ? info.description
                                                  : QStringLiteral("%1 (%2)").arg(info.description, info.serialNumber);
                break;
            }
        }
        ui->comboBox_port->addItem(name);
        if (!tip.isEmpty())
            ui->comboBox_port->setItemData(ui->comboBox_port->count() - 1, tip.trimmed(), Qt::ToolTipRole);
    }
}

void MainWindow::showStatus(const QString &text)
{
    ui->statusBar->showMessage(text);
}

void MainWindow::onTimerUpdate()
{
    const QStringList names = listedPortNames();
    const int index = ui->comboBox_port->count() > 0 ? int(names.indexOf(ui->comboBox_port->currentText())) : -1;
    if (names == portNames)
        return;

    portNames = names;
    fillPortBox();
    if (names.isEmpty()) {
        // The open port's close button stays usable whatever the list shows.
        if (!portOpened)
            ui->openportButton->setEnabled(false);
        ui->comboBox_port->setEnabled(false);
    } else {
        ui->comboBox_port->setEnabled(true);
        if (!ui->openportButton->isEnabled())
            ui->openportButton->setEnabled(true);
    }
    if (index != -1)
        ui->comboBox_port->setCurrentIndex(index);
    else if (!portOpened && names.contains(WindowSettings::lastPort()))
        ui->comboBox_port->setCurrentIndex(int(names.indexOf(WindowSettings::lastPort())));
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
    if (!calibrating && linkUp && !ui->calibrateButton->isEnabled() && status < 0 && r.amod != 0.0f
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

void MainWindow::onDeviceDiscovered(const PortInfo &info)
{
    qCDebug(lcUi) << "Device Discovered" << info.portName;
    // The adapter that went away under the open port is back: open it again. The listing has
    // changed before this notice, so the port list already shows it.
    const PortInfo *back = portOpened ? nullptr : reconnect.reopenOn(info);
    if (!back)
        return;
    const int row = ui->comboBox_port->findText(back->portName);
    if (row < 0)
        return;
    ui->comboBox_port->setCurrentIndex(row);
    openPort();
}

void MainWindow::onDeviceRemoved(const PortInfo &info)
{
    qCDebug(lcUi) << "Device Removed" << info.portName;
    // Compared with the open port's own name: the list has usually been refreshed already and
    // no longer shows the port that went away.
    if (portOpened && info.portName == port->portName())
        closePort(false);
}

void MainWindow::onPortLost(const QString &reason, quint64 generation)
{
    qCDebug(lcUi) << "port lost" << reason;
    // A notice about an earlier opening must not close the port the user has opened since.
    if (portOpened && generation == openedGeneration)
        closePort(false);
}

void MainWindow::on_openportButton_clicked()
{
    if (portOpened) {
        if (updateWriting && !StopUpdateQuestion::ask(this))
            return;
        closePort(true);
    } else
        openPort();
}

void MainWindow::openPort()
{
    port->setPortName(ui->comboBox_port->currentText());
    if (!port->open()) {
        showStatus(openFailureText(port->openError()));
        return;
    }
    portOpened = true;
    openedGeneration = port->openGeneration();
    starsService->setPortOpen(true);
    updateReadoutTimer();
    showStatus(tr("串口已经打开 (%1)").arg(port->portName()));
    ui->openportButton->setText(tr("关闭串口"));
    ui->comboBox_port->setEnabled(false);
    ui->connectButton->setEnabled(true);

    const QString name = port->portName();
    PortInfo opened;
    opened.portName = name;
    for (const PortInfo &info : enumerator->availablePorts())
        if (info.portName == name)
            opened = info;
    reconnect.opened(opened);
    WindowSettings::setLastPort(name, opened.serialNumber);
    WindowSettings::setClosedByUser(false);
    linkHints->setWatching(activeTab == 0, productName());
    hintInterruptedUpdate(name);
}

QString MainWindow::openFailureText(SerialPort::OpenError reason)
{
    switch (reason) {
    case SerialPort::OpenError::PermissionDenied: return tr(PortTexts::permissionDenied);
    case SerialPort::OpenError::InUse: return tr(PortTexts::inUse);
    default: return tr(PortTexts::cannotOpen);
    }
}

void MainWindow::closePort(bool byUser)
{
    if (byUser) {
        reconnect.closedByUser();
        WindowSettings::setClosedByUser(true);
    } else {
        reconnect.lost();
    }
    linkHints->setWatching(false, productName());
    starsService->setPortOpen(false);
    port->close();
    portOpened = false;
    showStatus(tr("串口已经关闭！"));
    ui->openportButton->setText(tr("打开串口"));
    // With no adapter left in the list there is nothing to open.
    ui->comboBox_port->setEnabled(!portNames.isEmpty());
    ui->openportButton->setEnabled(!portNames.isEmpty());
    ui->calibrateButton->setEnabled(false);
    ui->connectButton->setEnabled(false);
    ui->connectButton->setText(tr("连接"));
    starsService->onCancel();
    calibrateService->onCancel();
    cancelUpdate();
    calibrating = false;
    stepWords->clear();
    updateReadoutTimer();
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
    calibrating = true;
    ui->calibrateButton->setEnabled(false);
    calibrateService->onStart();
    showStatus(tr("请按步骤完成操作！"));
}

void MainWindow::onDirectionChanged(int index)
{
    ui->groupBox_image->setTitle(tr("步骤 %1").arg(index));
    stepWords->setText(CalibrationWords::faceStep(index));
    ui->svgviewer->load(ResourcePaths::stepPicture(QLatin1String(ProductTable::row(productIndex).pictureSet), index));
}

void MainWindow::onConnected(bool value)
{
    linkUp = value;
    linkHints->linkChanged(value);
    if (value) {
        ui->svgviewer->load(ResourcePaths::connectPicture);
        showStatus(tr("已连接！"));
    } else {
        calibrating = false;
        ui->calibrateButton->setEnabled(false);
        ui->groupBox_image->setTitle(tr("步骤"));
        stepWords->clear();
        ui->svgviewer->load(ResourcePaths::disconnectPicture);
        showStatus(tr("连接已断开！"));
    }
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
}

void MainWindow::on_productType_currentIndexChanged(int index)
{
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
    cancelUpdate();
    if (!ProductTable::isValidRow(row))
        return;
    starsService->setRegisterProfile(ProductTable::row(row).registerProfile);
    updateService->setMultiChip(ProductTable::row(row).multiChip);
}
