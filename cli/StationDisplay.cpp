// Output of the station command.
#include "StationDisplay.h"

#include "CliOutput.h"
#include "FlashSession.h"

#include "Station.h"

#include <cmath>

StationDisplay::StationDisplay(Mode m)
    : mode(m)
{
}

QString StationDisplay::tallyText(const Tally &tally)
{
    return QStringLiteral("updated %1  already up to date %2  failed %3").arg(tally.updated).arg(tally.upToDate).arg(tally.failed);
}

QJsonObject StationDisplay::tallyJson(const Tally &tally)
{
    return {{QStringLiteral("updated"), tally.updated},
            {QStringLiteral("upToDate"), tally.upToDate},
            {QStringLiteral("failed"), tally.failed}};
}

QString StationDisplay::statusText(const FlashSession *s, Line &line) const
{
    // The time left is the whole gimbal's: from how long the write has taken for its share of
    // all the chips' bytes.
    if (s->state() == FlashSession::State::Writing && !line.writeClock.isValid())
        line.writeClock.start();
    QString chip = QStringLiteral("-");
    if (s->chip() > 0)
        chip = QStringLiteral("%1/%2").arg(s->chip()).arg(s->chipCount());
    const int left = s->state() == FlashSession::State::Writing ? Station::secondsLeft(line.writeClock, s->gimbalPermille()) : -1;
    return QStringLiteral("%1  %2  chip %3  %4%  %5  %6  %7")
        .arg(s->portName(), -16)
        .arg(line.serial.isEmpty() ? QStringLiteral("-") : line.serial, -10)
        .arg(chip, -5)
        .arg(s->permille() / 10, 3)
        .arg(left >= 0 ? QStringLiteral("%1 s left").arg(left) : QString(), -9)
        .arg(FlashSession::stateName(s->state()), -10)
        .arg(s->message());
}

QJsonObject StationDisplay::sessionJson(const FlashSession *s, FlashSession::Change change, const Line &line) const
{
    QJsonObject object{{QStringLiteral("event"), FlashSession::changeName(change)},
                       {QStringLiteral("port"), s->portName()},
                       {QStringLiteral("serial"), line.serial},
                       {QStringLiteral("state"), FlashSession::stateName(s->state())},
                       {QStringLiteral("chip"), s->chip()},
                       {QStringLiteral("chips"), s->chipCount()},
                       {QStringLiteral("permille"), s->permille()}};
    const int left = s->state() == FlashSession::State::Writing ? Station::secondsLeft(line.writeClock, s->gimbalPermille()) : -1;
    if (left >= 0)
        object.insert(QStringLiteral("secondsLeft"), left);
    if (change != FlashSession::Change::Progress && change != FlashSession::Change::State)
        object.insert(QStringLiteral("message"), s->message());
    return object;
}

void StationDisplay::redraw()
{
    QString text;
    if (drawnLines > 0)
        text += QStringLiteral("\x1b[%1A").arg(drawnLines);
    const int width = qMax(20, CliOutput::terminalColumns() - 1);
    // The colour is set around the cut text, so a cut never leaves it on for what follows.
    for (const Line &line : std::as_const(lines)) {
        text += QStringLiteral("\r\x1b[2K");
        text += line.colour.isEmpty() ? line.text.left(width) : line.colour + line.text.left(width) + QStringLiteral("\x1b[0m");
        text += QLatin1Char('\n');
    }
    text += QStringLiteral("\r\x1b[2K") + tallyText(shown).left(width) + QStringLiteral("\n\x1b[J");
    drawnLines = int(lines.size()) + 1;
    CliOutput::raw(text);
}

// A line that stays above the redrawn block on a terminal; a plain line otherwise.
void StationDisplay::say(const QString &text)
{
    if (mode == Mode::Terminal) {
        if (drawnLines > 0)
            CliOutput::raw(QStringLiteral("\x1b[%1A\r\x1b[J").arg(drawnLines));
        drawnLines = 0;
        CliOutput::line(text);
        redraw();
    } else {
        CliOutput::line(text);
    }
}

void StationDisplay::started(const QString &package, int count)
{
    if (mode == Mode::Json) {
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("started")},
                         {QStringLiteral("package"), package},
                         {QStringLiteral("count"), count}});
        return;
    }
    say(count > 0 ? QStringLiteral("Station: %1, until %2 gimbals have ended; Ctrl-C stops").arg(package).arg(count)
                  : QStringLiteral("Station: %1, until Ctrl-C").arg(package));
}

void StationDisplay::taken(const QString &port, const QString &serial)
{
    Line &line = lines[port];
    line = Line{};
    line.serial = serial;
    line.text = QStringLiteral("%1  %2  plugged in").arg(port, -16).arg(serial.isEmpty() ? QStringLiteral("-") : serial, -10);
    if (mode == Mode::Json)
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("plugged")},
                         {QStringLiteral("port"), port},
                         {QStringLiteral("serial"), serial}});
    else if (mode == Mode::Plain)
        CliOutput::line(line.text);
    else
        redraw();
}

void StationDisplay::update(const FlashSession *s, FlashSession::Change change)
{
    Line &line = lines[s->portName()];
    line.text = statusText(s, line);
    line.colour.clear();
    switch (mode) {
    case Mode::Terminal:
        redraw();
        return;
    case Mode::Json:
        if (change != FlashSession::Change::Done)
            CliOutput::json(sessionJson(s, change, line));
        return;
    case Mode::Plain:
        if (change == FlashSession::Change::Progress) {
            const int quarter = s->permille() / 250;
            if (line.lastQuarter == quarter)
                return;
            line.lastQuarter = quarter;
        } else if (change != FlashSession::Change::Report) {
            return; // the reports say the same, and the end has its own line
        }
        CliOutput::line(line.text);
        return;
    }
}

void StationDisplay::checking(const QString &port)
{
    Line &line = lines[port];
    line.colour.clear();
    line.text = QStringLiteral("%1  %2  checking the new firmware").arg(port, -16).arg(line.serial.isEmpty() ? QStringLiteral("-") : line.serial, -10);
    if (mode == Mode::Json)
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("checking")}, {QStringLiteral("port"), port}});
    else if (mode == Mode::Plain)
        CliOutput::line(line.text);
    else
        redraw();
}

void StationDisplay::checked(const QString &port, const QString &result, double accelerationG)
{
    if (mode != Mode::Json)
        return; // said in the end line
    QJsonObject object{{QStringLiteral("event"), QStringLiteral("checked")},
                       {QStringLiteral("port"), port},
                       {QStringLiteral("check"), result}};
    if (result == QLatin1String("running") || result == QLatin1String("implausible"))
        object.insert(QStringLiteral("accelerationG"), std::round(accelerationG * 1000) / 1000);
    CliOutput::json(object);
}

void StationDisplay::ended(const FlashSession *s, const QString &result, const QString &check, const Tally &tally)
{
    shown = tally;
    Line &line = lines[s->portName()];
    const bool good = result != QLatin1String("failed");
    QString word = good ? result.toUpper() : QStringLiteral("FAILED (%1, exit %2)").arg(s->reason()).arg(s->exitCode());
    if (!check.isEmpty())
        word = good ? word + QStringLiteral(", RUNNING") : QStringLiteral("FAILED (new firmware: %1)").arg(check);
    const QString where = s->chip() > 0 ? QStringLiteral("chip %1/%2").arg(s->chip()).arg(s->chipCount()) : QStringLiteral("chip -  ");
    const QString text = QStringLiteral("%1  %2  %3  %4  %5")
                             .arg(s->portName(), -16)
                             .arg(line.serial.isEmpty() ? QStringLiteral("-") : line.serial, -10)
                             .arg(where, word, s->message());
    switch (mode) {
    case Mode::Terminal:
        line.text = text;
        line.colour = good ? QStringLiteral("\x1b[32m") : QStringLiteral("\x1b[31m");
        redraw();
        return;
    case Mode::Plain:
        line.text = text;
        CliOutput::line(text);
        CliOutput::line(tallyText(tally));
        return;
    case Mode::Json: {
        QJsonObject object = sessionJson(s, FlashSession::Change::Done, line);
        object.insert(QStringLiteral("result"), result);
        if (!check.isEmpty())
            object.insert(QStringLiteral("check"), check);
        object.insert(QStringLiteral("reason"), s->reason());
        object.insert(QStringLiteral("exit"), s->exitCode());
        if (!s->gimbalIdentity().isEmpty())
            object.insert(QStringLiteral("gimbal"), s->gimbalIdentity());
        object.insert(QStringLiteral("tally"), tallyJson(tally));
        CliOutput::json(object);
        return;
    }
    }
}

void StationDisplay::removed(const QString &port)
{
    if (!lines.remove(port))
        return;
    if (mode == Mode::Json)
        CliOutput::json({{QStringLiteral("event"), QStringLiteral("removed")}, {QStringLiteral("port"), port}});
    else if (mode == Mode::Plain)
        CliOutput::line(QStringLiteral("%1  pulled out").arg(port, -16));
    else
        redraw();
}

void StationDisplay::stopping(bool cancelling, int running)
{
    if (mode == Mode::Json) {
        CliOutput::json({{QStringLiteral("event"), cancelling ? QStringLiteral("cancelling") : QStringLiteral("stopping")},
                         {QStringLiteral("running"), running}});
        return;
    }
    say(cancelling ? QStringLiteral("Cancelling the %1 writes still running (they end with RESTART)").arg(running)
                   : QStringLiteral("No more gimbals are taken; waiting for %1 running (Ctrl-C again cancels them)").arg(running));
}

void StationDisplay::summary(const Tally &tally, int exitCode)
{
    shown = tally;
    if (mode == Mode::Json) {
        QJsonObject object = tallyJson(tally);
        object.insert(QStringLiteral("event"), QStringLiteral("exit"));
        object.insert(QStringLiteral("exit"), exitCode);
        CliOutput::json(object);
        return;
    }
    if (mode == Mode::Terminal)
        redraw();
    CliOutput::line(QStringLiteral("Station ended: %1 (exit %2)").arg(tallyText(tally)).arg(exitCode));
}
