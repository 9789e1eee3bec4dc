// The main window's serial port: the port list, hot-plug notices, opening and closing.
#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "CalibrateService.h"
#include "LinkHints.h"
#include "PortTexts.h"
#include "SerialPort.h"
#include "StarsService.h"
#include "PortEnumerator.h"
#include "UiLog.h"
#include "WindowSettings.h"

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

void MainWindow::tellMissingAdapter()
{
    const QString missing = tr("未找到云台适配器：请插入一个");
    // An open port's own texts (its opening, its close) keep the status bar.
    if (portNames.isEmpty() && !portOpened)
        showStatus(missing);
    else if (!portNames.isEmpty() && ui->statusBar->currentMessage() == missing)
        ui->statusBar->clearMessage();
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
    tellMissingAdapter();
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
        if (!mayStopUpdate())
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

    const PortInfo opened = openedPortInfo();
    reconnect.opened(opened);
    WindowSettings::setLastPort(opened.portName, opened.serialNumber);
    WindowSettings::setClosedByUser(false);
    linkHints->setWatching(activeTab == 0, productName());
    hintInterruptedUpdate(opened);
}

PortInfo MainWindow::openedPortInfo() const
{
    PortInfo opened;
    opened.portName = port->portName();
    for (const PortInfo &info : enumerator->availablePorts())
        if (info.portName == opened.portName)
            opened = info;
    return opened;
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
        // The attempt under way ends because the adapter went away, whatever the engine says.
        if (updateAttempt.isStarted())
            attemptPortLost = true;
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
    checkLinkLost();
    cancelUpdate();
    // A download for the gimbal that was listed over this port stops with it.
    catalogueOffer->cancel();
    calibrating = false;
    // The engine reports the cancelled check; the button waits for the next connection.
    checking = false;
    calibrationCheckFailures = 0;
    stepWords->clear();
    clearCheckFigures();
    updateCheckButton();
    updateReadoutTimer();
}
