// The main window's journal: every update attempt, calibration run and check as a record, the History
// window, and what the journal knows of the chips just listed.
#include "MainWindow.h"

#include "ui_MainWindow.h"

#include "ChipHistory.h"
#include "HistoryWindow.h"
#include "Journal.h"
#include "UiLog.h"

#include <QCoreApplication>
#include <QLabel>
#include <QStatusBar>

namespace {

// The widest the journal's problem may be in the status bar; the whole text is its tool tip.
constexpr int kProblemWidth = 220;

// An attempt the window ends itself: cancelled, unless its adapter went away.
UpdateEnding endedByWindow(bool portLost)
{
    return {portLost ? UpdateEnding::Kind::PortLost : UpdateEnding::Kind::Cancelled, std::nullopt};
}

// A check the window ends itself.
const CheckEnding checkCancelled{CheckEnding::Kind::Cancelled, std::nullopt};

// A run the window ends itself, at the step it was last seen at.
CalibrationEnding calibrationCancelled(int step)
{
    CalibrationOutcome reached;
    reached.step = step;
    return {CalibrationEnding::Kind::Cancelled, reached};
}

} // namespace

void MainWindow::setUpJournal()
{
    journal = new Journal(JournalConfig::resolve(), this);
    connect(journal, &Journal::problem, this, &MainWindow::onJournalProblem);
    connect(journal, &Journal::sent, this, [this] {
        if (journalProblemIsSend)
            showJournalProblem(QString(), true);
    });

    chipHistoryWords = new QLabel(ui->tab_2);
    chipHistoryWords->setObjectName(QStringLiteral("chipHistoryWords"));
    chipHistoryWords->setWordWrap(true);
    ui->gridLayout_3->addWidget(chipHistoryWords, ui->gridLayout_3->rowCount(), 0);
    chipHistoryWords->hide();

    // Beside the status messages, so that an update's own end stays readable.
    journalProblem = new QLabel(this);
    journalProblem->setObjectName(QStringLiteral("journalProblem"));
    statusBar()->addPermanentWidget(journalProblem);
    journalProblem->hide();
}

bool MainWindow::recordInJournal(const JournalRecord &record)
{
    journalWriting = true;
    const bool written = journal->record(record);
    journalWriting = false;
    if (!written)
        return false;
    if (!journalProblemIsSend)
        showJournalProblem(QString(), false);
    if (historyWindow && historyWindow->isVisible())
        historyWindow->refresh();
    return true;
}

void MainWindow::onJournalProblem(const QString &text)
{
    // Said once per problem by the journal; the update or calibration goes on regardless.
    if (journalWriting) {
        qCWarning(lcUi).noquote() << "Journal not written:" << text;
        showJournalProblem(tr("记录无法写入：%1").arg(text), false);
    } else {
        qCWarning(lcUi).noquote() << "Journal not sent:" << text;
        showJournalProblem(tr("记录无法发送：%1").arg(text), true);
    }
}

void MainWindow::showJournalProblem(const QString &words, bool sending)
{
    journalProblemIsSend = sending && !words.isEmpty();
    journalProblem->setToolTip(words);
    journalProblem->setText(journalProblem->fontMetrics().elidedText(words, Qt::ElideRight, kProblemWidth));
    journalProblem->setVisible(!words.isEmpty());
}

void MainWindow::beginUpdateAttempt()
{
    if (updateAttempt.isStarted())
        recordInJournal(updateAttempt.finish(endedByWindow(attemptPortLost)));
    const PortInfo opened = openedPortInfo();
    updateAttempt = UpdateAttempt(opened.portName, opened.serialNumber, productIndex);
    attemptAwaitsPackage = false;
    attemptPortLost = false;
    listedChips.clear();
    chipHistoryWords->clear();
    chipHistoryWords->hide();
}

void MainWindow::endAttemptOnCancel()
{
    // Cancelled while listing or writing, the engine reports the end itself; while waiting for
    // a package it goes back to idle without a word.
    if (!updateAttempt.isStarted() || !attemptAwaitsPackage)
        return;
    recordInJournal(updateAttempt.finish(endedByWindow(attemptPortLost)));
    updateAttempt = UpdateAttempt();
    attemptAwaitsPackage = false;
}

void MainWindow::onChipsListed(const QList<chipInfo> &chips)
{
    if (updateAttempt.isStarted()) {
        updateAttempt.onChipsListed(chips);
        attemptAwaitsPackage = true;
    }
    listedChips = chips;
    showChipHistory();
    catalogueOffer->chipsListed(chips);
}

void MainWindow::onUpdateOutcome(const UpdateOutcome &outcome)
{
    // An end without an open attempt belongs to one already recorded (cancelled while idle).
    if (!updateAttempt.isStarted())
        return;
    const JournalRecord record = updateAttempt.finish(
        {attemptPortLost ? UpdateEnding::Kind::PortLost : UpdateEnding::Kind::Engine, outcome});
    updateAttempt = UpdateAttempt();
    attemptAwaitsPackage = false;
    if (recordInJournal(record) && !record.chips.isEmpty())
        showChipHistory();
}

void MainWindow::showChipHistory()
{
    QString error;
    QStringList lines;
    if (JournalStore *store = journal->local(&error))
        lines = ChipHistory::lines(*store, listedChips, &error);
    if (!error.isEmpty())
        qCDebug(lcUi) << "chip history not read:" << error;
    chipHistoryWords->setText(lines.join(QLatin1Char('\n')));
    chipHistoryWords->setVisible(!lines.isEmpty());
}

void MainWindow::beginCalibrationRun()
{
    if (!calibrationRun.id.isNull()) {
        // The run before ended without a word from the engine (cancelled before it began).
        recordInJournal(CalibrationAttempt::record(calibrationRun, calibrationCancelled(calibrationStep)));
    }
    const PortInfo opened = openedPortInfo();
    calibrationRun = JournalRecord::begin(JournalRecord::Kind::Calibration);
    calibrationRun.port = opened.portName;
    calibrationRun.adapterSerial = opened.serialNumber;
    calibrationRun.productRow = productIndex;
    calibrationStep = 0;
}

void MainWindow::onCalibrationOutcome(const CalibrationOutcome &outcome)
{
    showCalibrationCheck(outcome);
    if (calibrationRun.id.isNull())
        return;
    const JournalRecord record = CalibrationAttempt::record(calibrationRun, {CalibrationEnding::Kind::Engine, outcome});
    calibrationRun = JournalRecord();
    recordInJournal(record);
}

void MainWindow::beginCheckRun()
{
    // The check before ended without a word from the engine (cancelled before it began).
    if (!checkRun.id.isNull())
        recordInJournal(CheckAttempt::record(checkRun, checkCancelled));
    const PortInfo opened = openedPortInfo();
    checkRun = JournalRecord::begin(JournalRecord::Kind::Check);
    checkRun.port = opened.portName;
    checkRun.adapterSerial = opened.serialNumber;
    checkRun.productRow = productIndex;
}

void MainWindow::recordCheckRun(const CheckOutcome &outcome)
{
    if (checkRun.id.isNull())
        return;
    const JournalRecord record = CheckAttempt::record(checkRun, {CheckEnding::Kind::Engine, outcome});
    checkRun = JournalRecord();
    recordInJournal(record);
}

void MainWindow::recordOpenAttempts()
{
    // The services are stopped: the ends they reported on the way out are waiting in the queue.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (updateAttempt.isStarted()) {
        recordInJournal(updateAttempt.finish(endedByWindow(attemptPortLost)));
        updateAttempt = UpdateAttempt();
    }
    if (!calibrationRun.id.isNull()) {
        recordInJournal(CalibrationAttempt::record(calibrationRun, calibrationCancelled(calibrationStep)));
        calibrationRun = JournalRecord();
    }
    if (!checkRun.id.isNull()) {
        recordInJournal(CheckAttempt::record(checkRun, checkCancelled));
        checkRun = JournalRecord();
    }
}

void MainWindow::showHistoryWindow()
{
    if (!historyWindow)
        historyWindow = new HistoryWindow(journal, this);
    historyWindow->show();
    historyWindow->raise();
    historyWindow->activateWindow();
}
