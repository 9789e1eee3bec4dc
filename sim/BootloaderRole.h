// The simulated gimbal in its bootloader role: chips written page by page over bootloader frames.
#pragma once

#include "BootloaderFrame.h"
#include "BootloaderSettings.h"
#include "DeviceRole.h"
#include "SimChip.h"

#include <QList>
#include <deque>
#include <vector>

// One answered (or silently taken) request of a received chunk.
struct BootloaderReply
{
    qsizetype requestEnd = 0; // bytes of the chunk up to and including the request's last byte
    QByteArray frame;         // the framed reply; empty when the request gets none
    int busyMs = 0;           // time the chip works before it can answer (a page write)
    bool run = false;         // the request was RUN: the chips leave the bootloader
};

// Request payloads are [code, 0x00, data...]; replies [code, status, ...]. In single-address
// mode one chip at a time answers the fixed codes and NEXT moves on to the next one; in
// multi-chip mode chip k answers codes k * 16 + n. Unknown or malformed requests get no reply,
// as a real bootloader stays silent. Trace lines start with "B ".
class BootloaderRole : public DeviceRole
{
public:
    // Status bytes of refused requests.
    static constexpr uint8_t StatusOk = 0;
    static constexpr uint8_t StatusOutOfRange = 1;  // page or byte count past the flash
    static constexpr uint8_t StatusPageTooLong = 2; // more bytes than one page holds
    static constexpr uint8_t StatusNoNextChip = 3;  // NEXT at the end of the chain
    static constexpr uint8_t StatusStorageFailed = 4;

    explicit BootloaderRole(const BootloaderSettings &settings);

    QByteArray receive(const QByteArray &hostBytes, qint64 nowMs) override;

    // Handles the requests completed by `hostBytes`. Stops right after a RUN request when
    // `stopAfterRun` is set, leaving the rest for whatever runs next; `*consumed` tells how far.
    // `startNs` is when the chunk's first byte arrived and `byteNs` the time of one byte on the
    // line; they time the hand-over after NEXT.
    QList<BootloaderReply> take(const QByteArray &hostBytes, bool stopAfterRun = false, qsizetype *consumed = nullptr,
                                qint64 startNs = 0, qint64 byteNs = 0);

    // Keeps each chip's flash in <dir>/chip<N>.bin (N from 1); false with a message on failure.
    bool attachFlashDir(const QString &dir, QString *error);
    // Puts image k at the start of chip k's flash; false with a message when one does not fit.
    bool preload(const QList<QByteArray> &images, QString *error);

    // As after a power cycle: chip 1 answers first and a partly received frame is forgotten.
    void restart();

    bool isMultiChip() const { return multiChip; }
    int chipCount() const { return int(chipList.size()); }
    SimChip &chip(int index) { return chipList[size_t(index)]; }
    // Single-address mode: index (from 0) of the chip that answers now.
    int currentChip() const { return order[size_t(current)]; }
    // Multi-chip mode: whether addresses 2 and up answer (after NEXT to address 1).
    bool chainOpen() const { return open; }

private:
    enum Command { GetInfo = 1, WritePage = 2, ReadCrc = 3, Next = 4, Run = 6, Restart = 7 };

    // The reply payload to `request`, or an empty array when it gets none.
    QByteArray handle(const QByteArray &request, BootloaderReply *reply);
    // Which chip and command a code stands for; false when no chip answers it.
    bool decode(uint8_t code, int *chipIndex, int *command) const;
    QByteArray chipRecord(uint8_t code, const SimChip &chip) const;

    // The chain starts over at its first chip, closed to addresses 2 and up.
    void startOver();

    BootloaderFrameParser parser{BootloaderFrame::ToDevice};
    std::deque<SimChip> chipList;
    BootloaderSettings settings;
    bool multiChip;
    int pageWriteMs;
    int current = 0;              // single-address mode: position in the chain
    std::vector<int> order;       // chip index at each position of the chain
    bool open = false;            // multi-chip mode: NEXT to address 1 came since the last RESTART
    int restarts = 0;             // RESTARTs seen; from the second on, a listing has ended
    qint64 requestNs = 0;         // arrival of the request being handled
    qint64 handoverUntilNs = -1;  // the chain answers nothing before this
};
