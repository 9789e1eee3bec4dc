// Start-up steps shared by the program and its tests: translation choice, style sheet, window.
#pragma once

#include "StationWindow.h"

#include <functional>

class MainWindow;
class QApplication;
class QString;
class QTranslator;

namespace Startup {

// The translation for a system locale name: the English one unless the name is exactly "zh_CN",
// whose texts are the program's own source texts.
QString translationFor(const QString &localeName);

// Loads the translation for `localeName` into `translator` and installs it; a missing
// translation leaves the translator empty and the source texts show.
void installTranslation(QApplication &app, QTranslator &translator, const QString &localeName);

// Applies the dark style sheet to the application; without it the platform style stays.
void loadStyleSheet();

// Shows the main window at its start size and runs the event loop until it is closed.
// `shown`, if given, runs after the window is shown and before the loop starts.
int runMainWindow(QApplication &app, const std::function<void(MainWindow &)> &shown = {});

// The station window (velmora --station) with its journal, until it is closed.
int runStationWindow(QApplication &app, const StationWindow::Options &options);

} // namespace Startup
