// velmora-gimbal-sim: a simulated gimbal behind a pseudo-terminal, for testing the host by hand or in CI.
#include "GimbalDevice.h"
#include "PseudoTerminal.h"
#include "QuitSignalWatcher.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

struct Options
{
    GimbalSettings gimbal;
    LineSettings line;
    bool trace = false;
    QString linkPath;
};

bool parseRate(const QCommandLineParser &parser, const QString &name, double *rate)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *rate = parser.value(name).toDouble(&ok);
    return ok && *rate >= 0 && *rate <= 1;
}

// Fills `options` from the command line; false (with a message on stderr) when a value is invalid.
bool parseOptions(const QCoreApplication &app, Options *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated gimbal answering the runtime protocol on a pseudo-terminal.\n"
        "Prints VELMORA_VIRTUAL_PORTS=<path> once ready; pass that line to Velmora's environment."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("profile"), QStringLiteral("Register profile: 0, 1 or 2 (default 2)."), QStringLiteral("N"), QStringLiteral("2")},
        {QStringLiteral("user"), QStringLiteral("Simulated user: turns the gimbal through the six faces during a calibration.")},
        {QStringLiteral("silent"), QStringLiteral("Never answer (a gimbal that is switched off).")},
        {QStringLiteral("drop"), QStringLiteral("Drop each answer byte with this probability (0-1)."), QStringLiteral("RATE")},
        {QStringLiteral("corrupt"), QStringLiteral("Corrupt each answer byte with this probability (0-1)."), QStringLiteral("RATE")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the noise and fault generators (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("pace"), QStringLiteral("Send answers at 115200-baud line speed (the default).")},
        {QStringLiteral("no-pace"), QStringLiteral("Send answers as fast as possible.")},
        {QStringLiteral("solve-fails"), QStringLiteral("Make the accelerometer solve report failure.")},
        {QStringLiteral("no-save-answer"), QStringLiteral("Never acknowledge the save command (the host retries it, then gives up).")},
        {QStringLiteral("time-scale"), QStringLiteral("Multiply every device delay by F (e.g. 0.1 runs ten times faster)."), QStringLiteral("F"), QStringLiteral("1")},
        {QStringLiteral("trace"), QStringLiteral("Print one line per answered write (\"W 0009 0002\") or command (\"C C005 A151\").")},
        {QStringLiteral("link"), QStringLiteral("Path of the symlink to the port (default <temp>/velmora-gimbal)."), QStringLiteral("PATH")},
    });
    parser.process(app);

    bool ok = false;
    options->gimbal.profile = parser.value(QStringLiteral("profile")).toInt(&ok);
    if (!ok || options->gimbal.profile < 0 || options->gimbal.profile > 2) {
        std::fprintf(stderr, "--profile must be 0, 1 or 2\n");
        return false;
    }
    options->gimbal.timeScale = parser.value(QStringLiteral("time-scale")).toDouble(&ok);
    if (!ok || options->gimbal.timeScale <= 0) {
        std::fprintf(stderr, "--time-scale must be a number above 0\n");
        return false;
    }
    const quint32 seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok) {
        std::fprintf(stderr, "--seed must be a non-negative integer\n");
        return false;
    }
    if (!parseRate(parser, QStringLiteral("drop"), &options->line.dropRate)
        || !parseRate(parser, QStringLiteral("corrupt"), &options->line.corruptRate)) {
        std::fprintf(stderr, "--drop and --corrupt take a probability from 0 to 1\n");
        return false;
    }
    options->gimbal.seed = seed;
    options->line.seed = seed + 1; // the line's faults do not follow the sensor noise
    options->gimbal.simulatedUser = parser.isSet(QStringLiteral("user"));
    options->gimbal.solveFails = parser.isSet(QStringLiteral("solve-fails"));
    options->gimbal.answersSave = !parser.isSet(QStringLiteral("no-save-answer"));
    options->line.silent = parser.isSet(QStringLiteral("silent"));
    options->line.pace = !parser.isSet(QStringLiteral("no-pace"));
    options->trace = parser.isSet(QStringLiteral("trace"));
    options->linkPath = parser.isSet(QStringLiteral("link")) ? parser.value(QStringLiteral("link"))
                                                             : QDir::tempPath() + QStringLiteral("/velmora-gimbal");
    return true;
}

void printLine(const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-gimbal-sim"));

    Options options;
    if (!parseOptions(app, &options))
        return 2;

    QuitSignalWatcher quitWatcher;
    QObject::connect(&quitWatcher, &QuitSignalWatcher::quitRequested, &app, &QCoreApplication::quit);

    GimbalDevice device(options.gimbal, options.line);
    PseudoTerminal terminal;
    if (!terminal.open(options.linkPath)) {
        std::fprintf(stderr, "velmora-gimbal-sim: %s\n", qPrintable(terminal.errorString()));
        return 1;
    }
    QObject::connect(&terminal, &PseudoTerminal::bytesReceived, &device, &GimbalDevice::receiveBytes);
    QObject::connect(&device, &GimbalDevice::sendBytes, &terminal, &PseudoTerminal::write);
    if (options.trace)
        QObject::connect(&device, &GimbalDevice::traceLine, &device, &printLine);

    printLine(QStringLiteral("VELMORA_VIRTUAL_PORTS=") + terminal.linkPath());
    const int status = app.exec();
    terminal.removeLink();
    return status;
}
