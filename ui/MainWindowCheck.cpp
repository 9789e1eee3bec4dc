// The calibration tab's check: the Check button, what the check asks while it waits and
// measures, its figures and verdict, and the figures and words at the end of a calibration.
#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "CalibrateService.h"
#include "CalibrationWords.h"
#include "CheckFigures.h"
#include "CheckLimits.h"
#include "ProductTable.h"
#include "ResourcePaths.h"
#include "UiLog.h"

#include <QLabel>
#include <QStandardItemModel>
#include <QTableView>

void MainWindow::setUpCheck()
{
    checkModel = new QStandardItemModel(this);
    checkTable = new QTableView(ui->groupBox_image);
    checkTable->setObjectName(QStringLiteral("checkTable"));
    CheckFigures::setUp(checkTable, checkModel);
    ui->gridLayout_9->addWidget(checkTable, 2, 0);

    checkWords = new QLabel(ui->groupBox_image);
    checkWords->setObjectName(QStringLiteral("checkWords"));
    checkWords->setWordWrap(true);
    checkWords->setAlignment(Qt::AlignCenter);
    ui->gridLayout_9->addWidget(checkWords, 3, 0);
    // Shown only while there is something to say, so the picture keeps its room otherwise.
    clearCheckFigures();

    ui->checkButton->setEnabled(false);
    connect(calibrateService, &CalibrateService::checkWaiting, this, &MainWindow::onCheckWaiting);
    connect(calibrateService, &CalibrateService::checkMeasuring, this, &MainWindow::onCheckMeasuring);
    connect(calibrateService, &CalibrateService::checkFinished, this, &MainWindow::onCheckFinished);
}

void MainWindow::clearCheckFigures()
{
    checkModel->removeRows(0, checkModel->rowCount());
    checkTable->hide();
    checkWords->clear();
    checkWords->hide();
}

void MainWindow::showCheckWords(const QString &words)
{
    checkWords->setText(words);
    checkWords->setVisible(!words.isEmpty());
}

void MainWindow::updateCheckButton()
{
    ui->checkButton->setEnabled(linkUp && linkAnnounced && port->isOpen() && !calibrating && !checking);
}

void MainWindow::checkLinkLost()
{
    // A cancel tells the services the link is down without a word to the window; the runtime
    // service announces it again with the next answer.
    linkAnnounced = false;
    updateCheckButton();
}

bool MainWindow::takeCheckLimits()
{
    // A few lines of one small file: read here, when the user asked.
    QString error;
    const std::optional<CheckLimits> limits = CheckLimits::machine(productIndex, &error);
    if (!limits) {
        qCWarning(lcUi).noquote() << "limits file refused:" << error;
        clearCheckFigures();
        showCheckWords(CheckFigures::limitsRefused(error));
        showStatus(CheckFigures::limitsRefused(error));
        return false;
    }
    calibrateService->setCheckLimits(*limits);
    return true;
}

void MainWindow::on_checkButton_clicked()
{
    clearCheckFigures();
    if (!takeCheckLimits())
        return;
    checking = true;
    ui->calibrateButton->setEnabled(false);
    updateCheckButton();
    ui->groupBox_image->setTitle(CheckFigures::title());
    stepWords->clear();
    beginCheckRun();
    calibrateService->onCheck();
}

void MainWindow::onCheckWaiting()
{
    if (calibrating) {
        // After the save the gimbal stays where the gyroscope step left it.
        calibrationStep = 13;
        stepWords->setText(CheckFigures::calibrationChecking());
        return;
    }
    if (!checking)
        return;
    ui->svgviewer->load(ResourcePaths::stepPicture(QLatin1String(ProductTable::row(productIndex).pictureSet), 1));
    stepWords->setText(CalibrationWords::checkWaiting());
}

void MainWindow::onCheckMeasuring()
{
    if (calibrating || checking)
        stepWords->setText(CalibrationWords::checkMeasuring());
}

void MainWindow::onCheckFinished(const CheckOutcome &outcome)
{
    recordCheckRun(outcome);
    // A check the window ended itself (the port closed) has nothing left to show.
    const bool shown = checking;
    checking = false;
    updateCheckButton();
    if (!shown)
        return;
    stepWords->clear();
    if (!outcome.measurements.isEmpty()) {
        CheckFigures::show(checkModel, outcome);
        checkTable->show();
    }
    if (outcome.reason == CheckOutcome::Passed)
        ui->svgviewer->load(ResourcePaths::successPicture);
    else if (outcome.reason == CheckOutcome::Failed || outcome.reason == CheckOutcome::NotStill)
        ui->svgviewer->load(ResourcePaths::failPicture);
    showCheckWords(CheckFigures::verdict(outcome));
    showStatus(CheckFigures::verdict(outcome));
}

void MainWindow::showCalibrationCheck(const CalibrationOutcome &outcome)
{
    if (!outcome.check)
        return;
    const CheckOutcome &check = *outcome.check;
    if (outcome.reason == CalibrationOutcome::Success || outcome.reason == CalibrationOutcome::CheckFailed) {
        if (!check.measurements.isEmpty()) {
            CheckFigures::show(checkModel, check);
            checkTable->show();
        }
    }
    if (outcome.reason == CalibrationOutcome::Success) {
        showCheckWords(CheckFigures::verdict(check));
    } else if (outcome.reason == CalibrationOutcome::CheckFailed) {
        showCheckWords(CheckFigures::calibrationCheckFailed(check, calibrationCheckFailures > 0));
        ++calibrationCheckFailures;
    }
}
