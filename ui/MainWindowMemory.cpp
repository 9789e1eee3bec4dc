// The main window's memory and words: restored settings, the calibration step in words, the
// chip being written, and the hint about an update that did not finish.
#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "CalibrationWords.h"
#include "LinkHints.h"
#include "ProductTable.h"
#include "WindowSettings.h"

#include <QLabel>

void MainWindow::setUpWords()
{
    stepWords = new QLabel(ui->groupBox_image);
    stepWords->setObjectName(QStringLiteral("stepWords"));
    stepWords->setWordWrap(true);
    stepWords->setAlignment(Qt::AlignCenter);
    ui->gridLayout_9->addWidget(stepWords, 1, 0);

    chipWords = new QLabel(ui->tab_2);
    chipWords->setObjectName(QStringLiteral("chipWords"));
    ui->gridLayout_3->addWidget(chipWords, ui->gridLayout_3->rowCount(), 0);
    // Shown only while it has something to say, so that the tab keeps its layout otherwise.
    chipWords->hide();
}

void MainWindow::restoreSettings()
{
    const int row = WindowSettings::productRow(ProductTable::DefaultRow);
    if (ProductTable::isValidRow(row))
        ui->productType->setCurrentIndex(row);

    const int portRow = int(portNames.indexOf(WindowSettings::lastPort()));
    if (portRow >= 0)
        ui->comboBox_port->setCurrentIndex(portRow);
    // The last port was left open, or its adapter went away, and it is not here now: it is
    // opened when it comes back, as within one run. After the user's Close it is not.
    if (portRow < 0 && !WindowSettings::lastPort().isEmpty() && !WindowSettings::closedByUser()) {
        PortInfo last;
        last.portName = WindowSettings::lastPort();
        last.serialNumber = WindowSettings::lastPortSerial();
        last.vendorId = GimbalAdapterVendorId;
        last.productId = GimbalAdapterProductId;
        reconnect.opened(last);
        reconnect.lost();
    }

    const QStringList paths = WindowSettings::packagePaths();
    ui->pathComboBox->addItems(paths);
    const int current = int(paths.indexOf(WindowSettings::currentPackage()));
    if (current >= 0)
        ui->pathComboBox->setCurrentIndex(current);
    settingsRestored = true;
}

void MainWindow::hintInterruptedUpdate(const PortInfo &opened)
{
    QString port;
    QString serialNumber;
    QString package;
    if (!WindowSettings::updateInterrupted(&port, &serialNumber, &package))
        return;
    // A USB adapter may come back under another name (replugged, or another socket); its
    // serial number says it is the same one. Another adapter under the old name is not.
    const bool sameAdapter = serialNumber.isEmpty() || opened.serialNumber.isEmpty()
                                 ? port == opened.portName
                                 : serialNumber == opened.serialNumber;
    if (!sameAdapter)
        return;
    showStatus(tr("此端口上次的固件更新没有完成：云台可能停在引导程序中，请在“固件更新”页完成更新。"));
    // A gimbal waiting in its bootloader does not answer at run time: that is no product question.
    linkHints->setWatching(false, productName());
    showPackageInfo(package);
}

void MainWindow::endUpdateWrite()
{
    updateWriting = false;
    chipProgress.stop();
}

QString MainWindow::productName() const
{
    return tr(ProductTable::row(productIndex).name);
}

void MainWindow::onGyroscopeStep()
{
    calibrationStep = 9; // after the six faces and the solve
    stepWords->setText(CalibrationWords::gyroscopeStep());
}
