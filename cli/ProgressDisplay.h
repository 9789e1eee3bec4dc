// The flash progress: one line per port redrawn in place on a terminal, plain lines otherwise,
// or one JSON object per event.
#pragma once

#include "FlashSession.h"

#include <QHash>
#include <QList>
#include <QString>

class ProgressDisplay
{
public:
    enum class Mode { Terminal, Plain, Json };

    ProgressDisplay(Mode mode, const QList<FlashSession *> &sessions);

    // `session` reported a change (see FlashSession::changed).
    void update(FlashSession *session, FlashSession::Change change);
    // One line (or object) per port with its result.
    void summary(int exitCode);

private:
    QString statusLine(const FlashSession *session) const;
    void redraw();

    Mode mode;
    QList<FlashSession *> sessions;
    bool drawn = false;
    // Plain mode prints progress only when it crosses a quarter, to keep logs short.
    QHash<const FlashSession *, int> lastQuarter;
};
