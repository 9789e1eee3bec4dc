// A gimbal stand-in on a pseudo-terminal that answers every read with a value the test sets.
#pragma once

#include "PtyPair.h"
#include "RegisterTable.h"
#include "StarsCommands.h"
#include "StarsFrame.h"

#include <QElapsedTimer>
#include <QList>
#include <QSocketNotifier>
#include <QTimer>
#include <array>
#include <unistd.h>

// What crossed the line, as the gimbal saw it: a request read, an answer written, or the
// port closing on the far side (its pending answers are dropped then).
struct LineEvent
{
    enum Kind { Request, Answer, Hangup };
    qint64 atMs;
    Kind kind;
    uint8_t slave;
    uint16_t cmd;
};

// Reads are answered with `values[entry]` for the table entry whose code (in the profile the
// window chose) was asked for; writes and commands are echoed. `silent` stops all answers.
class RegisterResponder
{
public:
    RegisterResponder()
        : notifier(line.masterFd(), QSocketNotifier::Read)
    {
        values.fill(0);
        clock.start();
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { serve(); });
    }

    QString path() const { return line.slavePath(); }
    bool isValid() const { return line.isValid(); }

    void set(RegisterIndex entry, int16_t value) { values[entry] = uint16_t(value); }

    std::array<uint16_t, RegisterCount> values;
    bool silent = false;
    // Answers are written this long after their request was read; 0 answers at once.
    int answerDelayMs = 0;
    QList<LineEvent> events;

private:
    void serve()
    {
        char buffer[512];
        const ssize_t n = ::read(line.masterFd(), buffer, sizeof buffer);
        if (n <= 0) {
            // The far side closed: answers still pending would reach a later opening.
            if (openGeneration == answerGeneration) {
                ++answerGeneration;
                events.append({clock.elapsed(), LineEvent::Hangup, 0, 0});
            }
            return;
        }
        openGeneration = answerGeneration;
        for (const QByteArray &request : parser.feed(QByteArray(buffer, int(n)))) {
            events.append({clock.elapsed(), LineEvent::Request, StarsFrame::address(request), StarsFrame::command(request)});
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
            const QByteArray answer = StarsFrame::encode(StarsFrame::address(request), cmd, value);
            if (answerDelayMs == 0) {
                write(answer);
                continue;
            }
            QTimer::singleShot(answerDelayMs, &notifier, [this, answer, generation = answerGeneration] {
                if (generation == answerGeneration)
                    write(answer);
            });
        }
    }

    void write(const QByteArray &answer)
    {
        events.append({clock.elapsed(), LineEvent::Answer, StarsFrame::address(answer), StarsFrame::command(answer)});
        line.write(answer);
    }

    PtyPair line;
    QSocketNotifier notifier;
    QElapsedTimer clock;
    int answerGeneration = 0;
    int openGeneration = -1;
    StarsFrameParser parser;
};
