// Program entry: --version and --help, then application, translation, dark style, main window, event loop.
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
    "Gimbal IMU calibration and firmware tool: live gyroscope and accelerometer read-out, the\n"
    "six-face and gyroscope calibration, and firmware update from .ptz packages, over a USB-serial\n"
    "adapter (USB ids 10C4:EA60).\n"
    "\n"
    "Options:\n"
    "  -h, --help     Show this help.\n"
    "  --version      Show the version.\n"
    "Other options are Qt's own (for example -platform NAME).\n"
    "\n"
    "Environment:\n"
    "  VELMORA_VIRTUAL_PORTS  colon-separated paths (pseudo-terminals, for example the simulator's)\n"
    "                         listed as gimbal adapters\n";

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
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setWindowIcon(QIcon(ResourcePaths::appIcon));

    QTranslator translator;
    Startup::installTranslation(app, translator, QLocale::system().name());
    Startup::loadStyleSheet();

    return Startup::runMainWindow(app);
}
