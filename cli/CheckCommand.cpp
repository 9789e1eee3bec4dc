// Runs one check: waits for a linked gimbal with sensor values, checks it at rest, reports.
#include "CheckCommand.h"

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

CheckCommand::CheckCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
    valuesTimer.setInterval(20);
    connect(&valuesTimer, &QTimer::timeout, this, &CheckCommand::lookForValues);
    answerDeadline.setSingleShot(true);
    answerDeadline.setInterval(AnswerTimeoutMs);
    connect(&answerDeadline, &QTimer::timeout, this, [this] {
        ending.kind = CheckEnding::Kind::NoAnswer;
        end(ExitCode::NoAnswer, QStringLiteral("no answer from the gimbal"));
    });
}

CheckCommand::~CheckCommand()
{
    if (session)
        session->stopService();
    delete calibrateService;
    delete session;
}

void CheckCommand::start()
{
    CliOutput::setShowCalibrationSteps(options.verbose);
    attempt = CheckReport::beginRecord(JournalRecord::Kind::Check, options);
    const std::optional<CheckLimits> limits = CheckReport::limits(options);
    if (!limits) {
        // Nothing was tried on the gimbal: no record.
        ended = true;
        QMetaObject::invokeMethod(this, [this] { emit finished(ExitCode::BadArguments); }, Qt::QueuedConnection);
        return;
    }

    session = new RuntimeSession(options.productRow);
    calibrateService = new CalibrateService;
    calibrateService->setCheckLimits(*limits);
    StarsService *starsService = session->service();
    connect(starsService, &StarsService::connected, calibrateService, &CalibrateService::onConnected);
    connect(session, &RuntimeSession::linkChanged, this, [this](bool up) { linkUp = up; });
    connect(calibrateService, &CalibrateService::checkWaiting, this, [this] {
        if (!options.json)
            CliOutput::line(CalibrationWords::checkWaiting());
    });
    connect(calibrateService, &CalibrateService::checkMeasuring, this, [this] {
        if (!options.json)
            CliOutput::line(CalibrationWords::checkMeasuring());
    });
    connect(calibrateService, &CalibrateService::checkFinished, this, &CheckCommand::onFinished);
    connect(session, &RuntimeSession::portLost, this, [this](const QString &reason) {
        ending.kind = CheckEnding::Kind::PortLost;
        end(ExitCode::NoAnswer, reason);
    });
    calibrateService->start(QThread::InheritPriority);

    if (!session->open(options.ports.first())) {
        ending.kind = CheckEnding::Kind::PortUnavailable;
        end(PortOpenFailure::exitCode(session->openError()), PortOpenFailure::text(session->openError()));
        return;
    }
    if (!options.json) {
        CliOutput::line(QStringLiteral("Opened %1").arg(options.ports.first()));
        CliOutput::line(QStringLiteral("Product: %1").arg(ProductRows::displayName(options.productRow)));
    }
    valuesTimer.start();
    answerDeadline.start();
}

void CheckCommand::interrupt()
{
    ending.kind = CheckEnding::Kind::Cancelled;
    end(ExitCode::Interrupted, QStringLiteral("check cancelled"));
}

void CheckCommand::lookForValues()
{
    // As the window's read-out: a linked gimbal that reports a measured gravity.
    const bool measuring = registerTable[accX].value.load() != 0 || registerTable[accY].value.load() != 0
                           || registerTable[accZ].value.load() != 0;
    if (checking || !linkUp || !measuring)
        return;
    valuesTimer.stop();
    answerDeadline.stop();
    checking = true;
    calibrateService->onCheck();
}

void CheckCommand::onFinished(const CheckOutcome &outcome)
{
    ending = {CheckEnding::Kind::Engine, outcome};
    switch (outcome.reason) {
    case CheckOutcome::Passed:
        end(ExitCode::Success);
        return;
    case CheckOutcome::Failed:
        end(ExitCode::Failed);
        return;
    case CheckOutcome::NotStill:
        end(ExitCode::NoAnswer, QStringLiteral("the gimbal never kept still"));
        return;
    case CheckOutcome::LinkLost:
        end(ExitCode::NoAnswer, QStringLiteral("the gimbal stopped answering during the check"));
        return;
    case CheckOutcome::Cancelled:
        end(ExitCode::Interrupted, QStringLiteral("check cancelled"));
        return;
    }
}

void CheckCommand::end(int exitCode, const QString &reason)
{
    if (ended)
        return;
    ended = true;
    valuesTimer.stop();
    answerDeadline.stop();
    if (session)
        session->stopService();
    if (calibrateService) {
        calibrateService->stop();
        calibrateService->wait();
    }
    const QString port = options.ports.first();
    if (options.json) {
        QJsonObject object = ending.engine ? CheckReport::toJson(*ending.engine) : QJsonObject();
        object.insert(QStringLiteral("port"), port);
        object.insert(QStringLiteral("product"), options.productRow);
        object.insert(QStringLiteral("outcome"), CheckAttempt::outcomeWord(ending));
        if (!reason.isEmpty())
            object.insert(QStringLiteral("reason"), reason);
        CliOutput::json(object);
    } else {
        if (ending.engine && (ending.engine->reason == CheckOutcome::Passed || ending.engine->reason == CheckOutcome::Failed))
            CheckReport::print(*ending.engine);
        if (!reason.isEmpty())
            CliOutput::error(QStringLiteral("%1: %2").arg(port, reason));
    }
    if (journal)
        journal->record(CheckAttempt::record(attempt, ending));
    emit finished(exitCode);
}
