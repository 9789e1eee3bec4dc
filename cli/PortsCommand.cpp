// Lists the adapters with name, description and serial number.
#include "PortsCommand.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "SystemPortEnumerator.h"

#include <QJsonArray>
#include <QJsonObject>

namespace PortsCommand {

QStringList lines(const QList<PortInfo> &adapters, bool terminal)
{
    QStringList result;
    if (!terminal) {
        for (const PortInfo &info : adapters)
            result.append(QStringLiteral("%1\t%2\t%3").arg(info.portName, info.description, info.serialNumber));
        return result;
    }
    if (adapters.isEmpty())
        return result;
    const auto shown = [](const QString &field) { return field.isEmpty() ? QStringLiteral("-") : field; };
    const QString portHeader = QStringLiteral("PORT");
    const QString descriptionHeader = QStringLiteral("DESCRIPTION");
    qsizetype portWidth = portHeader.size();
    qsizetype descriptionWidth = descriptionHeader.size();
    for (const PortInfo &info : adapters) {
        portWidth = qMax(portWidth, shown(info.portName).size());
        descriptionWidth = qMax(descriptionWidth, shown(info.description).size());
    }
    const auto row = [&](const QString &port, const QString &description, const QString &serial) {
        return QStringLiteral("%1  %2  %3").arg(port, -int(portWidth)).arg(description, -int(descriptionWidth)).arg(serial);
    };
    result.append(row(portHeader, descriptionHeader, QStringLiteral("SERIAL")));
    for (const PortInfo &info : adapters)
        result.append(row(shown(info.portName), shown(info.description), shown(info.serialNumber)));
    return result;
}

int run(bool json)
{
    QList<PortInfo> adapters;
    for (const PortInfo &info : SystemPortEnumerator().availablePorts())
        if (isGimbalAdapter(info))
            adapters.append(info);
    if (json) {
        // Virtual ports (a path) have no system record; their description stays empty.
        QJsonArray list;
        for (const PortInfo &info : std::as_const(adapters))
            list.append(QJsonObject{{QStringLiteral("name"), info.portName},
                                    {QStringLiteral("description"), info.description},
                                    {QStringLiteral("serialNumber"), info.serialNumber}});
        CliOutput::json({{QStringLiteral("ports"), list}});
    } else {
        for (const QString &line : lines(adapters, CliOutput::isTerminal()))
            CliOutput::line(line);
    }
    // On standard error: an empty listing stays empty for scripts reading standard output.
    if (adapters.isEmpty())
        CliOutput::error(QStringLiteral("velmora-cli: no gimbal adapter found"));
    return ExitCode::Success;
}

} // namespace PortsCommand
