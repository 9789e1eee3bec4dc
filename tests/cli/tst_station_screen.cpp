// The station's redrawn screen as a terminal shows it: its output goes to a pseudo-terminal of a
// known width and is played back through a small terminal model (cursor up, carriage return,
// erase line, erase below, colour), so that stale rows, a wrapped redrawn line or a colour left
// on show in the final screen.
#include "FlashSession.h"
#include "StationDisplay.h"

#include "../common/PtyPair.h"

#include <QtTest>

#include <sys/ioctl.h>

namespace {

constexpr int Columns = 60;

// What a terminal `Columns` wide shows after `bytes`: its rows, and for each row whether any of
// its characters were drawn in colour. `colourAtEnd` is whether a colour was still on at the end.
struct Screen
{
    QStringList rows;
    QList<QList<bool>> coloured;
    bool colourAtEnd = false;

    void play(const QByteArray &bytes)
    {
        const QString text = QString::fromUtf8(bytes);
        int row = 0, col = 0;
        bool colour = false;
        auto ensure = [&] {
            while (rows.size() <= row) {
                rows.append(QString());
                coloured.append(QList<bool>());
            }
        };
        for (int i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == QLatin1Char('\x1b') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('[')) {
                int j = i + 2;
                while (j < text.size() && !text.at(j).isLetter())
                    ++j;
                const QString parameter = text.mid(i + 2, j - i - 2);
                const QChar command = j < text.size() ? text.at(j) : QChar();
                i = j;
                ensure();
                if (command == QLatin1Char('A')) {
                    row = qMax(0, row - qMax(1, parameter.toInt()));
                } else if (command == QLatin1Char('K')) {
                    rows[row].clear();
                    coloured[row].clear();
                } else if (command == QLatin1Char('J')) {
                    rows[row].truncate(col);
                    coloured[row] = coloured[row].mid(0, col);
                    while (rows.size() > row + 1) {
                        rows.removeLast();
                        coloured.removeLast();
                    }
                } else if (command == QLatin1Char('m')) {
                    colour = parameter.toInt() != 0;
                }
                continue;
            }
            if (c == QLatin1Char('\r')) {
                col = 0;
            } else if (c == QLatin1Char('\n')) {
                ++row;
            } else {
                if (col == Columns) { // the terminal wraps
                    ++row;
                    col = 0;
                }
                ensure();
                rows[row] = rows[row].leftJustified(col).left(col) + c + rows[row].mid(col + 1);
                while (coloured[row].size() <= col)
                    coloured[row].append(false);
                coloured[row][col] = colour;
                ++col;
            }
        }
        ensure();
        colourAtEnd = colour;
        for (QString &r : rows)
            r = r.trimmed();
    }
};

// Standard output on a pseudo-terminal `Columns` wide for the life of the object.
class CapturedTerminal
{
public:
    CapturedTerminal()
    {
        winsize size{};
        size.ws_col = Columns;
        size.ws_row = 40;
        slave = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        ::ioctl(slave, TIOCSWINSZ, &size);
        // A terminal's usual output mode: a newline comes out as carriage return and line feed.
        termios tio{};
        ::tcgetattr(slave, &tio);
        tio.c_oflag |= OPOST | ONLCR;
        ::tcsetattr(slave, TCSANOW, &tio);
        std::fflush(stdout);
        saved = ::dup(STDOUT_FILENO);
        ::dup2(slave, STDOUT_FILENO);
    }
    ~CapturedTerminal()
    {
        restore();
        ::close(slave);
    }
    // Takes what was written so far (reading as it goes keeps the terminal's buffer from
    // filling): a mark written after it tells when all of it has come through.
    bool drain()
    {
        static const QByteArray mark("\x01drained\x01");
        std::fflush(stdout);
        if (::write(slave, mark.constData(), size_t(mark.size())) != mark.size())
            return false;
        QByteArray bytes;
        while (!bytes.endsWith(mark)) {
            if (!pty.waitReadable(10000))
                return false;
            char buffer[4096];
            const ssize_t n = ::read(pty.masterFd(), buffer, sizeof buffer);
            if (n <= 0)
                return false;
            bytes.append(buffer, n);
        }
        output += bytes.chopped(mark.size());
        return true;
    }
    QByteArray finish()
    {
        const bool drained = drain();
        restore();
        return drained ? output : QByteArray();
    }

private:
    void restore()
    {
        if (saved < 0)
            return;
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        saved = -1;
    }

    PtyPair pty;
    int slave = -1;
    int saved = -1;
    QByteArray output;
};

} // namespace

class StationScreenTest : public QObject
{
    Q_OBJECT

private slots:
    void theRedrawnBlockLeavesNeitherStaleRowsNorColour()
    {
        // A long port name, as a station naming its adapters by USB path has.
        const QString usb0 = QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:1.2:1.0-port0");
        const QString usb1 = QStringLiteral("/dev/ttyUSB1");
        // Never started: a failed end with its port, no chip and no message.
        FlashSession failed(usb0, false, 1000);
        Screen screen;
        {
            CapturedTerminal terminal;
            StationDisplay display(StationDisplay::Mode::Terminal);
            display.started(QStringLiteral("p.ptz"), 2);
            display.taken(usb0, QStringLiteral("SN0"));
            display.taken(usb1, QStringLiteral("SN1"));
            QVERIFY(terminal.drain());
            display.checking(usb0);
            // Longer than the terminal is wide: cut, and its colour with it.
            display.ended(&failed, QStringLiteral("failed"), QString(), {0, 0, 1});
            QVERIFY(terminal.drain());
            display.stopping(false, 1); // a line above the block, wider than the terminal
            display.removed(usb1);
            QVERIFY(terminal.drain());
            display.summary({0, 0, 1}, 4);
            screen.play(terminal.finish());
        }
        const QString endLine = screen.rows.value(3);
        QCOMPARE(screen.rows,
                 QStringList({QStringLiteral("Station: p.ptz, until 2 gimbals have ended; Ctrl-C stops"),
                              QStringLiteral("No more gimbals are taken; waiting for 1 running (Ctrl-C aga"),
                              QStringLiteral("in cancels them)"), endLine,
                              QStringLiteral("updated 0  already up to date 0  failed 1"),
                              QStringLiteral("Station ended: updated 0  already up to date 0  failed 1 (ex"),
                              QStringLiteral("it 4)"), QString()}));
        QVERIFY2(endLine == (usb0 + QStringLiteral("  SN0")).left(Columns - 1),
                 qPrintable(endLine));
        QVERIFY(!screen.colourAtEnd);
        for (int row = 0; row < screen.rows.size(); ++row)
            QVERIFY2(screen.coloured[row].contains(true) == (row == 3), qPrintable(screen.rows[row]));
    }
};

QTEST_GUILESS_MAIN(StationScreenTest)
#include "tst_station_screen.moc"
