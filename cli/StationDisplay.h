// The station's output: a line per adapter redrawn in place under a tally on a terminal, plain
// lines otherwise, or one JSON object per event.
#pragma once

#include "FlashSession.h"
#include "StationTally.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QMap>
#include <QString>

class StationDisplay
{
public:
    enum class Mode { Terminal, Plain, Json };

    using Tally = StationCounts;

    explicit StationDisplay(Mode mode);

    // The run began with this package; `count` gimbals end it (0: until Ctrl-C).
    void started(const QString &package, int count);
    // An adapter was taken: a new attempt on `port`.
    void taken(const QString &port, const QString &serial);
    // `session` reported a change (see FlashSession::changed).
    void update(const FlashSession *session, FlashSession::Change change);
    // The update on `port` went well; its new firmware is being checked.
    void checking(const QString &port);
    // The check on `port` ended with `result` at an acceleration modulus of `accelerationG`.
    void checked(const QString &port, const QString &result, double accelerationG);
    // The attempt on the session's port ended as `result` ("updated", "up-to-date", "failed");
    // `check` is the firmware check's result, empty when there was none.
    void ended(const FlashSession *session, const QString &result, const QString &check, const Tally &tally);
    // The adapter on `port` was pulled out; its line goes.
    void removed(const QString &port);
    // Ctrl-C: `cancelling` false stops taking gimbals, true cancels the writes still running.
    void stopping(bool cancelling, int running);
    void summary(const Tally &tally, int exitCode);

private:
    struct Line
    {
        QString serial;
        QString text;
        QString colour; // on a terminal: the SGR sequence the line is drawn in, empty for none
        int lastQuarter = -1;
        QElapsedTimer writeClock; // since the gimbal's first chip began to be written
    };

    QString statusText(const FlashSession *session, Line &line) const;
    static QString tallyText(const Tally &tally);
    static QJsonObject tallyJson(const Tally &tally);
    QJsonObject sessionJson(const FlashSession *session, FlashSession::Change change, const Line &line) const;
    void redraw();
    void say(const QString &text);

    Mode mode;
    QMap<QString, Line> lines; // by port, in name order
    Tally shown;
    int drawnLines = 0;
};
