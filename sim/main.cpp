// velmora-gimbal-sim: a simulated gimbal behind a pseudo-terminal, for testing the host by hand or in CI.
#include "GimbalDevice.h"
#include "PseudoTerminal.h"
#include "QuitSignalWatcher.h"
#include "SimOptions.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

// The default link and up to eight numbered ones ("-2" to "-9") for simulators side by side.
constexpr int kDefaultLinkAttempts = 9;

void printLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The line with the moment it was printed, on the clock other processes of the machine share.
void printTimedLine(const QString &line)
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    printLine(line + QStringLiteral(" @") + QString::number(qint64(now.tv_sec) * 1000000000 + now.tv_nsec));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The package reader's debug lines (a --match or --preload package) are for its own tests;
    // QT_LOGGING_RULES still turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QCoreApplication::setApplicationName(QStringLiteral("velmora-gimbal-sim"));

    SimOptions options;
    if (!parseSimOptions(app, &options))
        return 2;

    QuitSignalWatcher quitWatcher;
    QObject::connect(&quitWatcher, &QuitSignalWatcher::quitRequested, &app, &QCoreApplication::quit);

    GimbalDevice device(options.gimbal, options.line, options.roles);
    QString error;
    // The flash files first, so that a preloaded package is what they then hold.
    if ((!options.flashDir.isEmpty() && !device.bootloader()->attachFlashDir(options.flashDir, &error))
        || !device.bootloader()->preload(options.preload, &error)) {
        std::fprintf(stderr, "velmora-gimbal-sim: %s\n", qPrintable(error));
        return 2;
    }
    // The default link of a simulator already running on this machine is left to it: the next
    // free numbered name is taken instead. A link asked for by name is not replaced.
    std::unique_ptr<PseudoTerminal> terminalHolder;
    for (int attempt = 1;; ++attempt) {
        const QString link = attempt == 1 ? options.linkPath : options.linkPath + QStringLiteral("-%1").arg(attempt);
        terminalHolder = std::make_unique<PseudoTerminal>();
        if (terminalHolder->open(link))
            break;
        if (!terminalHolder->linkTaken() || options.linkGiven || attempt >= kDefaultLinkAttempts) {
            std::fprintf(stderr, "velmora-gimbal-sim: %s\n", qPrintable(terminalHolder->errorString()));
            return 1;
        }
    }
    PseudoTerminal &terminal = *terminalHolder;
    QObject::connect(&terminal, &PseudoTerminal::bytesReceived, &device, &GimbalDevice::receiveBytes);
    QObject::connect(&device, &GimbalDevice::sendBytes, &terminal, &PseudoTerminal::write);
    if (options.trace)
        QObject::connect(&device, &GimbalDevice::traceLine, &device, options.traceTime ? &printTimedLine : &printLine);

    printLine(QStringLiteral("VELMORA_VIRTUAL_PORTS=") + terminal.linkPath());
    const int status = app.exec();
    terminal.removeLink();
    return status;
}
