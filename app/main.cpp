// Program entry: application, translation, dark style, main window, event loop.
#include "ResourcePaths.h"
#include "Startup.h"

#include <QApplication>
#include <QIcon>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    QApplication::setWindowIcon(QIcon(ResourcePaths::appIcon));

    QTranslator translator;
    Startup::installTranslation(app, translator, QLocale::system().name());
    Startup::loadStyleSheet();

    return Startup::runMainWindow(app);
}
