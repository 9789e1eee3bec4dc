// Prints the read-out at the chosen rate with the window's scaling and clamping.
#include "MonitorCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "PortOpenFailure.h"
#include "ProductRows.h"
#include "RegisterTable.h"
#include "RuntimeSession.h"
#include "SensorCsv.h"
#include "SensorReadout.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <cmath>

namespace {

// Rounded as the read-out boxes show them: rates to 0.1, accelerations to 0.001.
double shown(float value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(double(value) * scale) / scale;
}

} // namespace

MonitorCommand::MonitorCommand(const CliOptions &opts, QObject *parent)
    : Command(parent)
    , options(opts)
{
    sampleTimer.setTimerType(Qt::PreciseTimer);
    sampleTimer.setInterval(qMax(1, int(std::lround(1000.0 / options.rateHz))));
    connect(&sampleTimer, &QTimer::timeout, this, &MonitorCommand::printSample);
}

MonitorCommand::~MonitorCommand()
{
    delete session;
}

void MonitorCommand::start()
{
    clock.start();
    session = new RuntimeSession(options.productRow);
    connect(session, &RuntimeSession::linkChanged, this, &MonitorCommand::onLinkChanged);
    connect(session, &RuntimeSession::portLost, this, [this](const QString &reason) {
        CliOutput::error(QStringLiteral("%1: %2").arg(options.ports.first(), reason));
        end(ExitCode::NoAnswer);
    });
    if (!session->open(options.ports.first())) {
        const SerialPort::OpenError reason = session->openError();
        const QString message = PortOpenFailure::text(reason);
        if (options.json)
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("error")}, {QStringLiteral("port"), options.ports.first()},
                             {QStringLiteral("openError"), PortOpenFailure::jsonName(reason)},
                             {QStringLiteral("exit"), PortOpenFailure::exitCode(reason)}, {QStringLiteral("message"), message}});
        CliOutput::error(QStringLiteral("%1: %2").arg(options.ports.first(), message));
        end(PortOpenFailure::exitCode(reason));
        return;
    }
    if (options.json) {
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("open")}, {QStringLiteral("port"), options.ports.first()},
                         {QStringLiteral("product"), ProductRows::displayName(options.productRow)}});
    } else if (options.csv) {
        // Standard output carries the table alone, so that it can be redirected to a file.
        CliOutput::error(QStringLiteral("Opened %1").arg(options.ports.first()));
        CliOutput::line(QString::fromLatin1(SensorCsv::header()));
    } else {
        CliOutput::line(QStringLiteral("Opened %1").arg(options.ports.first()));
    }
}

void MonitorCommand::interrupt()
{
    // Ctrl-C is the normal end of a monitor, unless the gimbal never answered.
    if (!everUp)
        CliOutput::error(QStringLiteral("%1: no answer from the gimbal").arg(options.ports.first()));
    end(everUp ? ExitCode::Success : ExitCode::NoAnswer);
}

void MonitorCommand::onLinkChanged(bool up)
{
    everUp = everUp || up;
    if (options.json)
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("link")}, {QStringLiteral("connected"), up},
                         {QStringLiteral("t"), double(clock.elapsed()) / 1000.0}});
    else if (options.csv)
        CliOutput::error(up ? QCoreApplication::translate("MainWindow", "已连接！")
                            : QCoreApplication::translate("MainWindow", "连接已断开！"));
    else
        CliOutput::line(up ? QCoreApplication::translate("MainWindow", "已连接！")
                           : QCoreApplication::translate("MainWindow", "连接已断开！"));
    if (up) {
        sampleTimer.start();
    } else {
        sampleTimer.stop();
    }
}

void MonitorCommand::printSample()
{
    if (options.csv) {
        // Unclamped, as the window records them.
        const SensorReadout raw = SensorReadout::fromRaw(
            registerTable[accX].signedValue(), registerTable[accY].signedValue(), registerTable[accZ].signedValue(),
            registerTable[gyroX].signedValue(), registerTable[gyroY].signedValue(), registerTable[gyroZ].signedValue(),
            ProductRows::row(options.productRow).gyroCountsPerDps);
        CliOutput::line(QString::fromLatin1(SensorCsv::row(double(clock.elapsed()) / 1000.0, raw)));
        return;
    }
    const SensorReadout r = SensorReadout::fromRaw(
        registerTable[accX].signedValue(), registerTable[accY].signedValue(), registerTable[accZ].signedValue(),
        registerTable[gyroX].signedValue(), registerTable[gyroY].signedValue(), registerTable[gyroZ].signedValue(),
        ProductRows::row(options.productRow).gyroCountsPerDps).clampedToTheBoxes();
    if (options.json) {
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("sample")},
                         {QStringLiteral("t"), double(clock.elapsed()) / 1000.0},
                         {QStringLiteral("gx"), shown(r.gx, 1)},
                         {QStringLiteral("gy"), shown(r.gy, 1)},
                         {QStringLiteral("gz"), shown(r.gz, 1)},
                         {QStringLiteral("gmod"), shown(r.gmod, 1)},
                         {QStringLiteral("ax"), shown(r.ax, 3)},
                         {QStringLiteral("ay"), shown(r.ay, 3)},
                         {QStringLiteral("az"), shown(r.az, 3)},
                         {QStringLiteral("amod"), shown(r.amod, 3)}});
        return;
    }
    CliOutput::line(QString::asprintf("G %7.1f %7.1f %7.1f |%7.1f|  A %6.3f %6.3f %6.3f |%6.3f|", r.gx, r.gy, r.gz,
                                      r.gmod, r.ax, r.ay, r.az, r.amod));
}

void MonitorCommand::end(int exitCode)
{
    if (ended)
        return;
    ended = true;
    sampleTimer.stop();
    if (session)
        session->stopService();
    emit finished(exitCode);
}
