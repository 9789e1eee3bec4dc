// Progress output of the flash command.
#include "ProgressDisplay.h"

#include "CliOutput.h"
#include "ExitCode.h"
#include "FlashSession.h"
#include "PortOpenFailure.h"

#include <QJsonObject>

ProgressDisplay::ProgressDisplay(Mode m, const QList<FlashSession *> &list)
    : mode(m)
    , sessions(list)
{
}

QString ProgressDisplay::statusLine(const FlashSession *s) const
{
    QString chip = QStringLiteral("-");
    if (s->chip() > 0)
        chip = QStringLiteral("%1/%2").arg(s->chip()).arg(s->chipCount());
    QString state = FlashSession::stateName(s->state());
    if (s->isDone())
        state = s->exitCode() == ExitCode::Success ? QStringLiteral("RUN") : QStringLiteral("failed (%1)").arg(s->exitCode());
    return QStringLiteral("%1  chip %2  %3%  %4  %5")
        .arg(s->portName(), -16)
        .arg(chip, -5)
        .arg(s->permille() / 10, 3)
        .arg(state, -12)
        .arg(s->message());
}

void ProgressDisplay::redraw()
{
    QString text;
    if (drawn)
        text += QStringLiteral("\x1b[%1A").arg(sessions.size());
    const int width = qMax(20, CliOutput::terminalColumns() - 1);
    for (const FlashSession *s : std::as_const(sessions))
        text += QStringLiteral("\r\x1b[2K") + statusLine(s).left(width) + QLatin1Char('\n');
    drawn = true;
    CliOutput::raw(text);
}

void ProgressDisplay::update(FlashSession *s, FlashSession::Change change)
{
    switch (mode) {
    case Mode::Terminal:
        redraw();
        return;
    case Mode::Json: {
        QJsonObject object{{QStringLiteral("event"), FlashSession::changeName(change)},
                           {QStringLiteral("port"), s->portName()},
                           {QStringLiteral("state"), FlashSession::stateName(s->state())},
                           {QStringLiteral("chip"), s->chip()},
                           {QStringLiteral("chips"), s->chipCount()},
                           {QStringLiteral("permille"), s->permille()}};
        if (change == FlashSession::Change::Report || change == FlashSession::Change::Done)
            object.insert(QStringLiteral("message"), s->message());
        if (change == FlashSession::Change::Done) {
            object.insert(QStringLiteral("exit"), s->exitCode());
            object.insert(QStringLiteral("reason"), s->reason());
            if (s->openError() != SerialPort::OpenError::None)
                object.insert(QStringLiteral("openError"), PortOpenFailure::jsonName(s->openError()));
        }
        CliOutput::json(object);
        return;
    }
    case Mode::Plain:
        if (change == FlashSession::Change::Progress) {
            const int quarter = s->permille() / 250;
            if (lastQuarter.value(s, -1) == quarter)
                return;
            lastQuarter.insert(s, quarter);
        } else if (change == FlashSession::Change::State || change == FlashSession::Change::Chips) {
            return; // the reports that go with them say the same
        }
        if (change == FlashSession::Change::Report)
            lastQuarter.remove(s);
        CliOutput::line(statusLine(s));
        return;
    }
}

void ProgressDisplay::summary(int exitCode)
{
    if (mode == Mode::Json) {
        for (const FlashSession *s : std::as_const(sessions))
            CliOutput::json({{QStringLiteral("event"), QStringLiteral("summary")},
                             {QStringLiteral("port"), s->portName()},
                             {QStringLiteral("result"), s->exitCode() == ExitCode::Success ? QStringLiteral("RUN") : QStringLiteral("failed")},
                             {QStringLiteral("exit"), s->exitCode()},
                             {QStringLiteral("reason"), s->reason()},
                             {QStringLiteral("message"), s->message()}});
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("exit")}, {QStringLiteral("exit"), exitCode}});
        return;
    }
    CliOutput::line(QStringLiteral("Summary:"));
    for (const FlashSession *s : std::as_const(sessions)) {
        QString result = s->exitCode() == ExitCode::Success ? QStringLiteral("RUN") : QStringLiteral("FAILED (exit %1)").arg(s->exitCode());
        if (s->exitCode() == ExitCode::Success && s->wroteNothing())
            result = QStringLiteral("UP TO DATE");
        CliOutput::line(QStringLiteral("  %1  %2  %3").arg(s->portName(), -16).arg(result, -16).arg(s->message()));
    }
}
