// Runs one calibration: waits for a ready gimbal, starts the run, prompts each face, reports.
#include "CalibrateCommand.h"

#include "Attempts.h"

#include "CalibrateService.h"
#include "CalibrationWords.h"
#include "CheckReport.h"
#include "CliOutput.h"
#include "ExitCode.h"
#include "Journal.h"
#include "PortOpenFailure.h"
#include "ProductRows.h"
#include "RegisterTable.h"
#include "RuntimeSession.h"
#include "StarsService.h"

#include <QCoreApplication>

namespace {

QString windowText(const char *source)
{
    return QCoreApplication::translate("MainWindow", source);
}

} // namespace

CalibrateCommand::CalibrateCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
    readyTimer.setInterval(20);
    connect(&readyTimer, &QTimer::timeout, this, &CalibrateCommand::checkReady);
    readyDeadline.setSingleShot(true);
    readyDeadline.setInterval(ReadyTimeoutMs);
    connect(&readyDeadline, &QTimer::timeout, this, [this] {
        CliOutput::error(QStringLiteral("%1: %2").arg(options.ports.first(),
                                                      linkUp ? QStringLiteral("the gimbal does not report itself ready for calibration")
                                                             : QStringLiteral("no answer from the gimbal")));
        end(ExitCode::NoAnswer);
    });
}

CalibrateCommand::~CalibrateCommand()
{
    if (session)
        session->stopService();
    delete calibrateService;
    delete session;
}

void CalibrateCommand::start()
{
    // The calibration's own step lines are diagnostics; the prompts below are the procedure.
    CliOutput::setShowCalibrationSteps(options.verbose);
    attempt = CheckReport::beginRecord(JournalRecord::Kind::Calibration, options);
    const std::optional<CheckLimits> limits = CheckReport::limits(options);
    if (!limits) {
        // Refused before anything was sent: no record, as for any other bad argument.
        ended = true;
        QMetaObject::invokeMethod(this, [this] { emit finished(ExitCode::BadArguments); }, Qt::QueuedConnection);
        return;
    }
    session = new RuntimeSession(options.productRow);
    calibrateService = new CalibrateService;
    calibrateService->setCheckLimits(*limits);
    StarsService *starsService = session->service();
    // The window's wiring of the calibration service.
    connect(calibrateService, &CalibrateService::transmit, starsService, &StarsService::onTransmit);
    connect(starsService, &StarsService::connected, calibrateService, &CalibrateService::onConnected);
    connect(session, &RuntimeSession::linkChanged, this, &CalibrateCommand::onLinkChanged);
    connect(calibrateService, &CalibrateService::directionChanged, this, &CalibrateCommand::onDirectionChanged);
    connect(calibrateService, &CalibrateService::calibrationOutcome, this,
            [this](const CalibrationOutcome &outcome) { runOutcome = outcome; });
    connect(calibrateService, &CalibrateService::calibrationFinishd, this, &CalibrateCommand::onFinished);
    connect(calibrateService, &CalibrateService::gyroscopeStepStarted, this,
            [] { CliOutput::line(CalibrationWords::gyroscopeStep()); });
    connect(starsService, &StarsService::saveFinshed, calibrateService, &CalibrateService::onSaveFinshed);
    // After the save the gimbal is checked where it rests.
    connect(calibrateService, &CalibrateService::checkWaiting, this,
            [] { CliOutput::line(CalibrationWords::checkWaiting()); });
    connect(calibrateService, &CalibrateService::checkMeasuring, this,
            [] { CliOutput::line(CalibrationWords::checkMeasuring()); });
    connect(session, &RuntimeSession::portLost, this, [this](const QString &reason) {
        faceEnd = CalibrationEnding::Kind::PortLost;
        CliOutput::error(QStringLiteral("%1: %2").arg(options.ports.first(), reason));
        end(ExitCode::NoAnswer);
    });
    calibrateService->start(QThread::InheritPriority);

    if (!session->open(options.ports.first())) {
        faceEnd = CalibrationEnding::Kind::PortUnavailable;
        CliOutput::error(QStringLiteral("%1: %2").arg(options.ports.first(), PortOpenFailure::text(session->openError())));
        end(PortOpenFailure::exitCode(session->openError()));
        return;
    }
    CliOutput::line(QStringLiteral("Opened %1").arg(options.ports.first()));
    CliOutput::line(QStringLiteral("Product: %1").arg(ProductRows::displayName(options.productRow)));
    readyDeadline.start();
}

void CalibrateCommand::interrupt()
{
    faceEnd = CalibrationEnding::Kind::Cancelled;
    CliOutput::error(QStringLiteral("Calibration cancelled."));
    end(ExitCode::Interrupted);
}

void CalibrateCommand::onLinkChanged(bool up)
{
    linkUp = up;
    CliOutput::line(up ? windowText("已连接！") : windowText("连接已断开！"));
    if (up) {
        if (!running)
            readyTimer.start();
        return;
    }
    readyTimer.stop();
    if (running) {
        // The window ends its run on a lost link; so does the command, sending nothing more.
        faceEnd = CalibrationEnding::Kind::LinkLost;
        CliOutput::error(QStringLiteral("%1: the gimbal stopped answering during the calibration").arg(options.ports.first()));
        end(ExitCode::NoAnswer);
    }
}

void CalibrateCommand::checkReady()
{
    // The window's rule for its calibrate button: linked, ready bit set, a measured gravity.
    const bool ready = registerTable[calibStatus].signedValue() < 0;
    const bool measuring = registerTable[accX].value.load() != 0 || registerTable[accY].value.load() != 0
                           || registerTable[accZ].value.load() != 0;
    if (running || !linkUp || !ready || !measuring)
        return;
    readyTimer.stop();
    readyDeadline.stop();
    running = true;
    calibrateService->onStart();
    CliOutput::line(windowText("请按步骤完成操作！"));
}

void CalibrateCommand::onDirectionChanged(int face)
{
    CliOutput::line(QStringLiteral("%1: %2").arg(windowText("步骤 %1").arg(face), CalibrationWords::placement(face)));
}

void CalibrateCommand::onFinished(bool success)
{
    if (!running)
        return;
    // The outcome came (queued) just before this end: it carries the check after the save.
    if (runOutcome && runOutcome->check)
        CheckReport::print(*runOutcome->check);
    end(success ? ExitCode::Success : ExitCode::Failed, success ? windowText("校准完成！") : windowText("校准失败，请重新校准！"));
}

void CalibrateCommand::end(int exitCode, const QString &result)
{
    if (ended)
        return;
    ended = true;
    readyTimer.stop();
    readyDeadline.stop();
    // The runtime service first: once it has stopped no queued request can reach the gimbal,
    // whatever the procedure still asks for.
    if (session)
        session->stopService();
    if (calibrateService) {
        calibrateService->stop();
        calibrateService->wait();
    }
    // After the procedure's thread has ended, so its last step line comes before the result.
    if (!result.isEmpty())
        CliOutput::line(result);
    recordAttempt(exitCode);
    emit finished(exitCode);
}

void CalibrateCommand::recordAttempt(int exitCode)
{
    if (!journal)
        return;
    // The run's outcome crosses threads queued; the loop has ended, so it is waiting here.
    QCoreApplication::sendPostedEvents(this);
    // Ended by the run itself, or by the command: a lost port or link, a cancel, or no answer
    // before the run began.
    CalibrationEnding ending{faceEnd.value_or(CalibrationEnding::Kind::Engine), runOutcome};
    if (!faceEnd && !runOutcome)
        ending.kind = exitCode == ExitCode::Interrupted ? CalibrationEnding::Kind::Cancelled : CalibrationEnding::Kind::NoAnswer;
    const JournalRecord record = CalibrationAttempt::record(attempt, ending);
    journal->record(record);
}
