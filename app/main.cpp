// Program entry: application, settings names, log rules, translation, dark style, main window.
#include "LogRules.h"
#include "ResourcePaths.h"
#include "Startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The names under which QSettings keeps what the window remembers.
    QApplication::setOrganizationName(QStringLiteral("Velmora"));
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setWindowIcon(QIcon(ResourcePaths::appIcon));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The gimbal tool. Debug lines are off unless asked for: --verbose shows the program's own,\n"
        "QT_LOGGING_RULES chooses any (for example QT_LOGGING_RULES='velmora.stars.debug=true')."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption verbose(QStringLiteral("verbose"), QStringLiteral("Show the debug lines."));
    parser.addOption(verbose);
    parser.process(app);
    LogRules::apply(parser.isSet(verbose));

    QTranslator translator;
    Startup::installTranslation(app, translator, QLocale::system().name());
    Startup::loadStyleSheet();

    return Startup::runMainWindow(app);
}
