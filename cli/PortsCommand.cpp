// Lists the adapters with name, description and serial number.
#include "PortsCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "SystemPortEnumerator.h"

#include <QJsonArray>
#include <QJsonObject>

namespace PortsCommand {

int run(bool json)
{
    SystemPortEnumerator enumerator;
    QJsonArray list;
    int found = 0;
    for (const PortInfo &info : enumerator.availablePorts()) {
        if (!isGimbalAdapter(info))
            continue;
        ++found;
        // Virtual ports (a path) have no system record; their description stays empty.
        const QString &description = info.description;
        const QString &serial = info.serialNumber;
        if (json)
            list.append(QJsonObject{{QStringLiteral("name"), info.portName},
                                    {QStringLiteral("description"), description},
                                    {QStringLiteral("serialNumber"), serial}});
        else
            CliOutput::line(QStringLiteral("%1\t%2\t%3").arg(info.portName, description, serial));
    }
    if (json)
        CliOutput::json({{QStringLiteral("ports"), list}});
    // On standard error: an empty listing stays empty for scripts reading standard output.
    if (found == 0)
        CliOutput::error(QStringLiteral("velmora-cli: no gimbal adapter found"));
    return ExitCode::Success;
}

} // namespace PortsCommand
