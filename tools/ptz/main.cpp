// velmora-ptz: builds firmware packages and shows or checks existing ones.
#include "PtzCommands.h"
#include "VelmoraVersion.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The package reader's debug lines stay off the terminal: a refusal is said by its check's
    // name. QT_LOGGING_RULES still turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("velmora.*.debug=false"));
    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty())
        return PtzCommands::fail(PtzCommands::UsageError, QStringLiteral("no command given; try 'velmora-ptz --help'"));

    const QString command = arguments.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        std::fputs(qPrintable(PtzCommands::mainHelp()), stdout);
        return PtzCommands::Success;
    }
    if (command == QLatin1String("--version")) {
        std::fputs("velmora-ptz " VELMORA_VERSION "\n", stdout);
        return PtzCommands::Success;
    }
    if (command == QLatin1String("pack"))
        return PtzCommands::pack(arguments);
    if (command == QLatin1String("info"))
        return PtzCommands::info(arguments);
    if (command == QLatin1String("catalogue"))
        return PtzCommands::catalogue(arguments);
    if (command == QLatin1String("verify"))
        return PtzCommands::verify(arguments);
    if (command == QLatin1String("keys"))
        return PtzCommands::keys(arguments);
    return PtzCommands::fail(PtzCommands::UsageError,
                             QStringLiteral("unknown command '%1'; try 'velmora-ptz --help'").arg(command));
}
