// Connects to the bootloader, lists the chips and leaves them in the bootloader.
#include "InfoCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "PortOpenFailure.h"
#include "FlashSession.h"
#include "ProductRows.h"
#include "UpdateOutcome.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonObject>

InfoCommand::InfoCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
}

InfoCommand::~InfoCommand()
{
    delete session;
}

void InfoCommand::start()
{
    session = new FlashSession(options.ports.first(), ProductRows::row(options.productRow).multiChip,
                               options.connectTimeoutMs);
    connect(session, &FlashSession::finished, this, &InfoCommand::onFinished, Qt::QueuedConnection);
    if (!options.json)
        CliOutput::line(QCoreApplication::translate("UpdateService", "正在获取设备信息"));
    session->start();
}

void InfoCommand::interrupt()
{
    interrupted = true;
    session->interrupt();
}

void InfoCommand::onFinished(int exitCode)
{
    if (interrupted)
        exitCode = ExitCode::Interrupted;
    if (exitCode != ExitCode::Success) {
        if (options.json)
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("error")}, {QStringLiteral("port"), session->portName()},
                             {QStringLiteral("exit"), exitCode}, {QStringLiteral("message"), session->message()},
                             {QStringLiteral("openError"), PortOpenFailure::jsonName(session->openError())}});
        else
            CliOutput::error(QStringLiteral("%1: %2").arg(session->portName(), session->message()));
        // A chain that never answered: the window's hint for a silent gimbal, and the other
        // reason a bootloader stays silent.
        if (!options.json && session->reason() == UpdateOutcome::reasonName(UpdateOutcome::NoBootloader))
            CliOutput::error(QStringLiteral("%1 Or is the gimbal not in its bootloader?")
                                 .arg(QCoreApplication::translate("LinkHints", "%1 没有应答：产品型号选对了吗？")
                                          .arg(ProductRows::displayName(options.productRow))));
        emit finished(exitCode);
        return;
    }
    const auto header = [](const char *source) { return QCoreApplication::translate("MainWindow", source); };
    if (options.json) {
        QJsonArray chips;
        for (const deviceInfo &chip : session->devices())
            chips.append(QJsonObject{{QStringLiteral("device"), chip.device},
                                     {QStringLiteral("structure"), chip.structure},
                                     {QStringLiteral("hardware"), chip.hardware},
                                     {QStringLiteral("firmware"), chip.firmware}});
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("chips")}, {QStringLiteral("port"), session->portName()},
                         {QStringLiteral("chips"), chips}});
    } else {
        CliOutput::line(QStringLiteral("%1 %2 %3 %4").arg(header("设备"), -10).arg(header("结构"), -10).arg(header("硬件"), -10).arg(header("固件")));
        for (const deviceInfo &chip : session->devices())
            CliOutput::line(QStringLiteral("%1 %2 %3 %4").arg(chip.device, -10).arg(chip.structure, -10).arg(chip.hardware, -10).arg(chip.firmware));
    }
    emit finished(ExitCode::Success);
}
