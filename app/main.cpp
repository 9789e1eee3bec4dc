// Program entry: --version and --help, then application, settings names, log rules, translation,
// dark style, main window, event loop.
#include "LogRules.h"
#include "ResourcePaths.h"
#include "Startup.h"
#include "VelmoraVersion.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>

namespace {

const char *const kHelp =
    "Usage: velmora [Qt options]\n"
    "       velmora --station [--package FILE --product ROW | --from-catalogue VERSION|latest --product ROW] [--check]\n"
    "Gimbal IMU calibration and firmware tool: live gyroscope and accelerometer read-out, the\n"
    "six-face and gyroscope calibration, and firmware update from .ptz packages, over a USB-serial\n"
    "adapter (USB ids 10C4:EA60).\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help.\n"
    "  --version      Show the version.\n"
    "  --verbose      Show the debug lines (they are off unless asked for; warnings always show).\n"
    "  --station      Open the flashing station's window for a bench: one tile per gimbal adapter\n"
    "                 with a large PASS, FAIL or REFUSED, the shift's counts and a scan field for\n"
    "                 the units' serials. With --package FILE (or --from-catalogue VERSION|latest)\n"
    "                 and --product ROW it starts at once; --check checks that each new firmware\n"
    "                 runs. F11 toggles full screen.\n"
    "Other options are Qt's own (for example -platform NAME).\n"
    "\n"
    "Environment:\n"
    "  VELMORA_VIRTUAL_PORTS  colon-separated paths (pseudo-terminals, for example the simulator's)\n"
    "                         listed as gimbal adapters\n"
    "  QT_LOGGING_RULES       chooses debug lines by category, for example\n"
    "                         QT_LOGGING_RULES='velmora.stars.debug=true'\n";

// Answers --version and --help before any QApplication exists, so that both work without a
// display (packaging and man page tools run them on build machines). Returns true if answered.
bool answeredInformationOption(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("velmora " VELMORA_VERSION "\n", stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (answeredInformationOption(argc, argv))
        return 0;

    QApplication app(argc, argv);
    // The names under which QSettings keeps what the window remembers.
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setWindowIcon(QIcon(ResourcePaths::appIcon));

    LogRules::apply(app.arguments().contains(QStringLiteral("--verbose")));

    QTranslator translator;
    Startup::installTranslation(app, translator, QLocale::system().name());
    Startup::loadStyleSheet();

    if (app.arguments().contains(QStringLiteral("--station"))) {
        StationWindow::Options options;
        QString error;
        if (!StationWindow::parseOptions(app.arguments().mid(1), &options, &error)) {
            std::fprintf(stderr, "velmora: %s\n", qPrintable(error));
            return 2;
        }
        return Startup::runStationWindow(app, options);
    }
    return Startup::runMainWindow(app);
}
