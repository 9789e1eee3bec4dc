// Keeps the settings a window writes in tests away from the user's own: every test process
// gets a fresh, empty settings directory of its own, and reset() empties it between tests.
#pragma once

#include <QCoreApplication>
#include <QSettings>
#include <QTemporaryDir>

namespace IsolatedSettings {

inline QTemporaryDir *directory()
{
    static QTemporaryDir *dir = nullptr;
    if (!dir) {
        dir = new QTemporaryDir;
        qAddPostRoutine([] {
            delete dir;
            dir = nullptr;
        });
    }
    return dir;
}

// Points QSettings at the process's own directory; runs when the application object is built,
// before any window reads its settings.
inline void isolate()
{
    for (QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope}) {
        QSettings::setPath(QSettings::NativeFormat, scope, directory()->path());
        QSettings::setPath(QSettings::IniFormat, scope, directory()->path());
    }
    // The journal too: records of this process go to its own file, and nowhere shared.
    qputenv("VELMORA_JOURNAL_FILE", (directory()->path() + QStringLiteral("/journal.sqlite")).toLocal8Bit());
    qunsetenv("VELMORA_JOURNAL");
}

// Forgets everything the previous test's windows remembered.
inline void reset()
{
    QSettings().clear();
}

} // namespace IsolatedSettings

namespace {
void isolateSettingsAtStart()
{
    IsolatedSettings::isolate();
}
} // namespace
Q_COREAPP_STARTUP_FUNCTION(isolateSettingsAtStart)
