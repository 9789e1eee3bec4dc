// The main window's firmware tab: bootloader connection, link switching, package choice and update.
#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "BootloaderLink.h"
#include "CalibrateService.h"
#include "CheckedPackage.h"
#include "FirmwareTables.h"
#include "LinkHints.h"
#include "PortListener.h"
#include "PtzFile.h"
#include "SerialPort.h"
#include "StarsLink.h"
#include "StarsService.h"
#include "StopUpdateQuestion.h"
#include "UiLog.h"
#include "UpdateService.h"
#include "WindowSettings.h"

#include <QCheckBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QToolButton>

void MainWindow::setUpFirmwareTab()
{
    const QStringList labels{tr("设备"), tr("结构"), tr("硬件"), tr("固件")};
    firmwareModel = new QStandardItemModel(this);
    deviceModel = new QStandardItemModel(this);
    FirmwareTables::setUp(ui->firmwareView, firmwareModel, labels);
    FirmwareTables::setUp(ui->deviceView, deviceModel, labels);
    // A package dropped on the path box reaches the window instead of pasting its URL as text.
    if (ui->pathComboBox->lineEdit())
        ui->pathComboBox->lineEdit()->setAcceptDrops(false);
}

void MainWindow::setUpCatalogue()
{
    catalogueOffer = new CatalogueOffer(ui->tab_2);
    ui->gridLayout_3->addWidget(catalogueOffer, ui->gridLayout_3->rowCount(), 0);
    connect(catalogueOffer, &CatalogueOffer::packageReady, this, [this](const OfferedPackage &offered) {
        packageOrigin = offered;
        showPackageInfo(offered.package.path());
    });
    connect(catalogueButton, &QToolButton::clicked, this, [this] {
        // A new catalogue or channel is looked up at once for the chips already listed.
        if (CatalogueOffer::editSettings(this) && !listedChips.isEmpty() && port->isOpen())
            catalogueOffer->chipsListed(listedChips);
    });
}

void MainWindow::cancelUpdate()
{
    updateService->onCancel();
    endAttemptOnCancel();
    // The service forgets its connection on a cancel; a package request made now would be
    // kept and served unasked right after the next connection.
    ui->downloadButton->setEnabled(false);
    // A cancel while connected or waiting for a package sends no report: the tab goes back
    // to "not connected" here, so a new connection can be asked for at once.
    if (activeTab == 1 && port->isOpen()) {
        ui->connectButton->setText(tr("连接"));
        ui->connectButton->setEnabled(true);
    }
    // A write cut short stays marked as unfinished; its failure report must not clear that.
    endUpdateWrite();
}

void MainWindow::on_connectButton_clicked()
{
    // While counting down, the button's text is the count-down (连接中(5s), Connecting(5s)).
    if (ui->connectButton->text().contains(tr("连接中"), Qt::CaseInsensitive)) {
        updateService->onCancel();
        qCDebug(lcUi) << "Cancel";
    } else {
        // A new connection starts clean: the last run's chips, progress and chip words go.
        deviceModel->removeRows(0, deviceModel->rowCount());
        ui->progressBar->setValue(0);
        chipWords->clear();
        chipWords->hide();
        beginUpdateAttempt();
        updateService->connectRequest();
        qCDebug(lcUi) << "Request";
    }
}

void MainWindow::onConnectTimeout(int ms)
{
    if (ms != 0)
        showStatus(tr("等待连接..."));
    ui->connectButton->setText(tr("连接中(%1s)").arg(ms / 1000));
}

void MainWindow::onProgressUpdate(int value)
{
    ui->progressBar->setValue(value);
    const QString words = chipProgress.report(value);
    if (!words.isEmpty()) {
        chipWords->setText(words);
        chipWords->show();
    }
}

void MainWindow::onUpdateStep(const UpdateOutcome &step)
{
    if (updateAttempt.isStarted()) {
        updateAttempt.onStep(step);
        // Listed again (after a stray frame): the engine no longer waits for a package.
        if (step.reason == UpdateOutcome::Listing)
            attemptAwaitsPackage = false;
    }
    if (!chipProgress.running())
        return;
    QString words;
    if (step.reason == UpdateOutcome::WritingChip)
        words = chipProgress.chipStarted(step.chip);
    else if (step.reason == UpdateOutcome::ChipUpToDate)
        words = chipProgress.chipUpToDate(step.chip);
    else
        return;
    chipWords->setText(words);
    chipWords->show();
}

void MainWindow::onUpdateReport(int type, QString msg)
{
    if (!msg.isNull())
        showStatus(msg);
    switch (type) {
    case 1:
        ui->connectButton->setText(tr("已连接"));
        ui->connectButton->setEnabled(false);
        ui->downloadButton->setEnabled(true);
        break;
    case 2:
    case 3:
        if (type == 3 && updateWriting) {
            WindowSettings::clearUpdateInProgress();
            endUpdateWrite();
        }
        ui->connectButton->setText(tr("连接"));
        // A report that crosses a port close must not offer a connection over a closed port.
        ui->connectButton->setEnabled(port->isOpen());
        ui->downloadButton->setEnabled(false);
        break;
    case -1:
        if (updateWriting) {
            WindowSettings::clearUpdateInProgress();
            endUpdateWrite();
            chipWords->clear();
            chipWords->hide();
        }
        ui->progressBar->setValue(0);
        ui->connectButton->setText(tr("连接"));
        ui->connectButton->setEnabled(port->isOpen());
        // Every failure ends the connection: an update needs a new one first.
        ui->downloadButton->setEnabled(false);
        break;
    default:
        break;
    }
}

void MainWindow::deviceListUpdate(QList<deviceInfo> devices)
{
    FirmwareTables::showDevices(deviceModel, devices);
    // Update may be pressed as soon as the bootloader answered, before its chips are listed.
    if (chipProgress.running())
        chipProgress.setChipCount(int(devices.size()));
}

bool MainWindow::mayStopUpdate()
{
    return !updateWriting || servicesStopped || StopUpdateQuestion::ask(this);
}

void MainWindow::on_tabWidget_currentChanged(int index)
{
    // Leaving the firmware tab cancels its update; "keep writing" brings the tab back.
    if (index == 0 && activeTab == 1 && !mayStopUpdate()) {
        const QSignalBlocker blocker(ui->tabWidget);
        ui->tabWidget->setCurrentIndex(1);
        return;
    }
    if (index != 0) {
        activeTab = 1;
        ui->connectButton->show();
        ui->calibrateButton->hide();
    } else {
        activeTab = 0;
        ui->calibrateButton->show();
        ui->connectButton->hide();
        ui->connectButton->setText(tr("连接"));
        ui->connectButton->setEnabled(true);
    }
    switchLink(activeTab);
    // Only the runtime link can go unanswered; the bootloader has its own count-down.
    linkHints->setWatching(activeTab == 0 && portOpened, productName());
}

void MainWindow::switchLink(int tab)
{
    // Exactly one link takes the port's bytes at a time; the other gets nothing buffered.
    if (tab == 1) {
        calibrateService->onCancel();
        starsService->onSuspend(true);
        disconnect(portListener, &PortListener::readBytes, nullptr, nullptr);
        disconnect(starsLink, &StarsLink::streamOut, nullptr, nullptr);
        disconnect(starsLink, &StarsLink::rxFlush, nullptr, nullptr);
        // Direct, like the runtime link's parser: the worker is the parser's only caller.
        connect(portListener, &PortListener::readBytes, bootloaderLink, &BootloaderLink::parser, Qt::DirectConnection);
        connect(bootloaderLink, &BootloaderLink::streamOut, portListener, &PortListener::writeBytes);
        connect(bootloaderLink, &BootloaderLink::rxFlush, portListener, &PortListener::flush);
        if (!port->isOpen())
            ui->connectButton->setEnabled(false);
    } else if (tab == 0) {
        cancelUpdate();
        disconnect(portListener, &PortListener::readBytes, nullptr, nullptr);
        disconnect(bootloaderLink, &BootloaderLink::streamOut, nullptr, nullptr);
        disconnect(bootloaderLink, &BootloaderLink::rxFlush, nullptr, nullptr);
        connect(portListener, &PortListener::readBytes, starsLink, &StarsLink::parser, Qt::DirectConnection);
        connect(starsLink, &StarsLink::streamOut, portListener, &PortListener::writeBytes);
        connect(starsLink, &StarsLink::rxFlush, portListener, &PortListener::flush);
        starsService->onSuspend(false);
    }
}

void MainWindow::showPackageInfo(const QString &path)
{
    if (path.isEmpty())
        return;
    int index = ui->pathComboBox->findText(path, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        ui->pathComboBox->addItem(path);
        index = ui->pathComboBox->count() - 1;
    }
    // The origin belongs to the catalogue's package only.
    if (packageOrigin && packageOrigin->package.path() != path)
        packageOrigin.reset();
    // Fires on_pathComboBox_currentIndexChanged when the item changes, which shows the same
    // package again.
    ui->pathComboBox->setCurrentIndex(index);

    // A missing, unreadable or invalid package leaves the table as it was, without a message:
    // Upgrade reads and checks it again and says why it is refused. Its path stays in the box
    // for this run but is not remembered for the next.
    const PackageCheck package = CheckedPackage::open(path, false);
    if (!package.valid)
        return;
    if (settingsRestored)
        WindowSettings::notePackage(path);
    FirmwareTables::showPackage(firmwareModel, package.header);
    showSignature(package.signature);
}

void MainWindow::on_browseButton_clicked()
{
    const QString path = QFileDialog::getOpenFileName(this, tr("查找文件"), QDir::currentPath(),
                                                      tr("PTZ 固件 (*.ptz)"));
    showPackageInfo(path);
}

void MainWindow::on_pathComboBox_currentIndexChanged(int index)
{
    showPackageInfo(ui->pathComboBox->itemText(index));
}

void MainWindow::on_downloadButton_clicked()
{
    if (ui->pathComboBox->count() > 0) {
        const QString package = ui->pathComboBox->itemText(ui->pathComboBox->currentIndex());
        // A package refused here is refused before anything is sent: the gimbal stays listed,
        // waiting for another.
        const std::optional<CheckedPackage> checked = packageToWrite(package);
        if (!checked)
            return;
        // The record names the bytes the service writes, with the digest made as they were read.
        updateAttempt.setPackage(*checked);
        if (packageOrigin && packageOrigin->package.path() == package)
            updateAttempt.setCatalogue(packageOrigin->origin);
        updateService->packageRequest(*checked);
        attemptAwaitsPackage = false;
        ui->downloadButton->setEnabled(false);
        // Marked until the update reports its end: an interruption is told on the next open.
        const PortInfo opened = openedPortInfo();
        WindowSettings::setUpdateInProgress(opened.portName, opened.serialNumber, package);
        updateWriting = true;
        chipProgress.start(deviceModel->rowCount());
        chipWords->clear();
        chipWords->hide();
    } else {
        showStatus(tr("请指定固件文件路径!"));
    }
}

std::optional<CheckedPackage> MainWindow::packageToWrite(const QString &path)
{
    const bool onlySigned = onlySignedBox->isChecked();
    // The catalogue's package is the one its client checked, at the listed digest: its kept
    // file is not read again, so a file put in its place since is never written under its name.
    if (packageOrigin && packageOrigin->package.path() == path) {
        const CheckedPackage &offered = packageOrigin->package;
        showSignature(offered.signature());
        if (onlySigned && offered.signature().state != SignatureCheck::State::Valid) {
            showRefusal(PackageCheck::Refusal::Unsigned);
            return std::nullopt;
        }
        return offered;
    }
    // Any other file is read once here: its signature is checked on these bytes, and the
    // record and the service take them from the check.
    const PackageCheck checked = CheckedPackage::open(path, onlySigned);
    if (checked.wasRead())
        showSignature(checked.signature);
    if (!checked.accepted())
        showRefusal(checked.refusal);
    return checked.package;
}

void MainWindow::dragEnterEvent(QDragEnterEvent *e)
{
    qCDebug(lcUi) << "drag enter";
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent *e)
{
    if (!e->mimeData()->hasUrls())
        return;
    QStringList paths;
    const QString package = FirmwareTables::droppedPackage(e->mimeData()->urls(), &paths);
    e->acceptProposedAction();
    if (!package.isEmpty())
        showPackageInfo(package);
    qCDebug(lcUi) << "drop file:" << paths;
}
