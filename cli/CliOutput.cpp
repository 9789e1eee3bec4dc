// Terminal output of velmora-cli.
#include "CliOutput.h"

#include "LogRules.h"

#include <QJsonDocument>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

std::atomic<bool> showSteps{false};
bool debugWanted = false;

void write(FILE *stream, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool calibrationStep = context.category && std::strcmp(context.category, "velmora.calibration") == 0;
    if (type == QtDebugMsg || type == QtInfoMsg) {
        if (calibrationStep && showSteps.load())
            write(stdout, QStringLiteral("  ... %1\n").arg(message).toUtf8());
        else if (debugWanted)
            write(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(context.category ? context.category : "debug"), message).toUtf8());
        return;
    }
    write(stderr, QStringLiteral("velmora-cli: %1\n").arg(message).toUtf8());
}

} // namespace

namespace CliOutput {

void line(const QString &text)
{
    write(stdout, (text + QLatin1Char('\n')).toUtf8());
}

void raw(const QString &text)
{
    write(stdout, text.toUtf8());
}

void error(const QString &text)
{
    write(stderr, (text + QLatin1Char('\n')).toUtf8());
}

void json(const QJsonObject &object)
{
    write(stdout, QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

bool isTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

int terminalColumns()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void installMessageHandler()
{
    setVerbose(false);
    qInstallMessageHandler(handleMessage);
}

void setVerbose(bool verbose)
{
    // Debug lines are shown when asked for: --verbose, VELMORA_CLI_DEBUG, or QT_LOGGING_RULES
    // (which Qt applies over the default rules, so it picks the categories). The calibration's
    // step lines stay on: calibrate shows them as its progress.
    const bool all = verbose || qEnvironmentVariableIsSet("VELMORA_CLI_DEBUG");
    debugWanted = all || qEnvironmentVariableIsSet("QT_LOGGING_RULES");
    LogRules::apply(all, {QStringLiteral("velmora.calibration")});
}

void setShowCalibrationSteps(bool show)
{
    showSteps.store(show);
}

} // namespace CliOutput
