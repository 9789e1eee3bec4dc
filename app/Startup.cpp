#include "Startup.h"

#include "Journal.h"
#include "JournalConfig.h"
#include "MainWindow.h"
#include "ResourcePaths.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTranslator>

namespace Startup {

QString translationFor(const QString &localeName)
{
    return localeName == QLatin1String("zh_CN") ? QStringLiteral(":/zh_CN") : QStringLiteral(":/en_US");
}

void installTranslation(QApplication &app, QTranslator &translator, const QString &localeName)
{
    // There is no Chinese translation file: its load fails and the source texts stay.
    (void)translator.load(translationFor(localeName));
    app.installTranslator(&translator);
}

void loadStyleSheet()
{
    QFile file(ResourcePaths::styleSheet);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream stream(&file);
    const QString styleSheet = stream.readAll();
    file.close();
    qApp->setStyleSheet(styleSheet);
}

int runMainWindow(QApplication &app, const std::function<void(MainWindow &)> &shown)
{
    MainWindow window;
    window.show();
    // Resized after showing, so that the first paint is already at the working size.
    window.resize(410, 466);
    if (shown)
        shown(window);
    const int code = app.exec();
    Journal::exitIfSenderAbandoned(code);
    return code;
}

int runStationWindow(QApplication &app, const StationWindow::Options &options)
{
    Journal journal(JournalConfig::resolve());
    journal.startSending();
    int code = 0;
    {
        StationWindow window(options, &journal);
        window.resize(1280, 800);
        window.show();
        code = app.exec();
    }
    // A sender blocked on a silent server is left behind rather than waited for.
    if (!journal.stopSending(2500))
        Journal::exitIfSenderAbandoned(code);
    return code;
}

} // namespace Startup
