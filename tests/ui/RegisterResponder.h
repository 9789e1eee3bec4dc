// A gimbal stand-in on a pseudo-terminal that answers every read with a value the test sets.
#pragma once

#include "PtyPair.h"
#include "RegisterTable.h"
#include "StarsCommands.h"
#include "StarsFrame.h"

#include <QSocketNotifier>
#include <array>
#include <unistd.h>

// Reads are answered with `values[entry]` for the table entry whose code (in the profile the
// window chose) was asked for; writes and commands are echoed. `silent` stops all answers.
class RegisterResponder
{
public:
    RegisterResponder()
        : notifier(line.masterFd(), QSocketNotifier::Read)
    {
        values.fill(0);
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { serve(); });
    }

    QString path() const { return line.slavePath(); }
    bool isValid() const { return line.isValid(); }

    void set(RegisterIndex entry, int16_t value) { values[entry] = uint16_t(value); }

    std::array<uint16_t, RegisterCount> values;
    bool silent = false;

private:
    void serve()
    {
        char buffer[512];
        const ssize_t n = ::read(line.masterFd(), buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (const QByteArray &request : parser.feed(QByteArray(buffer, int(n)))) {
            if (silent)
                continue;
            const uint16_t cmd = StarsFrame::command(request);
            uint16_t value = StarsFrame::value(request);
            if ((cmd & CMD_KIND_MASK) == 0) {
                for (int i = 0; i < RegisterCount; ++i) {
                    if (registerTable[i].code.load() == cmd)
                        value = values[size_t(i)];
                }
            }
            line.write(StarsFrame::encode(StarsFrame::address(request), cmd, value));
        }
    }

    PtyPair line;
    QSocketNotifier notifier;
    StarsFrameParser parser;
};
