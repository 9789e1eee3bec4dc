// A bootloader scripted in the test process: answers UpdateService's request payloads directly.
#pragma once

#include "UpdateService.h"
#include "crc16.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <functional>

// Lives in the test's thread: requests arrive queued, so the exchange moves whenever the test
// spins its event loop. Chips answer as a bootloader does, no kinder: in multi-chip mode
// addresses 2 and up are deaf until NEXT to address 1 (again after each RESTART), and after
// NEXT the chain hears nothing for a moment while it hands over. `tamper` bends single replies.
class ScriptedBootloader : public QObject
{
    Q_OBJECT

public:
    struct Chip
    {
        uint32_t cpuid = 0;
        uint16_t pageSize = 1024, pageCount = 8, boot = 0x0100, arch = 0x4B35, hardware = 0, firmware = 100;
        QByteArray flash;
    };
    struct Write { int chip, page, size; };
    // Given the request and the reply the chips would give, returns what to send (empty: nothing).
    using Tamper = std::function<QByteArray(const QByteArray &request, QByteArray reply)>;

    ScriptedBootloader(UpdateService *service, bool multiChip)
        : service(service), multiChip(multiChip)
    {
        connect(service, &UpdateService::transmitBytes, this, &ScriptedBootloader::onRequest);
        clock.start();
    }

    Chip &addChip(uint32_t cpuid, uint16_t hardware, uint16_t pageCount = 8)
    {
        chips.append({cpuid, 1024, pageCount, 0x0100, 0x4B35, hardware, 100, QByteArray(1024 * pageCount, '\xFF')});
        return chips.last();
    }
    QList<uint8_t> codes() const
    {
        QList<uint8_t> list;
        for (const QByteArray &request : requests)
            list.append(uint8_t(request.at(0)));
        return list;
    }
    int currentChip() const { return current; }
    int restarts() const { return codes().count(multiChip ? 0x17 : 0x23); }

    QList<Chip> chips;
    QList<QByteArray> requests;
    QList<Write> writes;
    bool silent = false;     // answers nothing at all
    bool chainMoves = true;  // single-address NEXT moves on to the next chip
    int nextStep = 1;        // chips a single-address NEXT moves on (2: it skips one)
    bool chainWraps = false; // a single-address NEXT at the last chip goes back to the first
    int getInfoDelayMs = 0;  // GET_INFO answers this late (requests after it are not held up)
    qint64 handoverMs = 5;   // after NEXT, requests other than RUN and RESTART go unheard
    Tamper tamper;
    // Called with each request before it is answered (to change the chain mid-update, say).
    std::function<void(const QByteArray &request)> onEachRequest;

private slots:
    void onRequest(QByteArray request)
    {
        requests.append(request);
        if (onEachRequest)
            onEachRequest(request);
        QByteArray reply = silent ? QByteArray() : answer(request);
        if (tamper)
            reply = tamper(request, reply);
        if (reply.isEmpty())
            return;
        const bool getInfo = (multiChip ? (uint8_t(request.at(0)) & 0x0F) == 1 : request.at(0) == 0x01);
        if (getInfo && getInfoDelayMs > 0) {
            UpdateService *target = service;
            QTimer::singleShot(getInfoDelayMs, this, [target, reply] { target->onRecvFrame(reply); });
            return;
        }
        service->onRecvFrame(reply);
    }

private:
    static uint32_t le(const QByteArray &b, int at, int n)
    {
        uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i)
            v = (v << 8) | uint8_t(b.at(at + i));
        return v;
    }
    static void put(QByteArray &out, uint32_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    }

    QByteArray answer(const QByteArray &request)
    {
        const auto code = uint8_t(request.at(0));
        int index = current;
        int command = code & 0x0F;
        if (multiChip) {
            index = (code >> 4) - 1;
        } else {
            static const QList<uint8_t> fixed{0x01, 0x02, 0x03, 0x20, 0x22, 0x23};
            command = QList<int>{1, 2, 3, 4, 6, 7}.value(fixed.indexOf(code), 0);
        }
        if (command == 7) {
            current = 0; // RESTART: the chain starts over at its first chip, closed behind it
            open = false;
        }
        if (command == 0 || command >= 6)
            return {};
        if (clock.elapsed() < handoverUntilMs)
            return {}; // handing over after NEXT
        if (multiChip && index >= 1 && !open)
            return {}; // addresses 2 and up are reached only through NEXT to address 1
        QByteArray reply(2, '\0');
        reply[0] = char(code);
        if (index < 0 || index >= chips.size()) {
            reply[1] = 1; // no such chip: refused at once, so listings need not time out
            return reply;
        }
        Chip &chip = chips[index];
        if (command == 1) {
            put(reply, chip.cpuid, 4);
            for (uint16_t v : {chip.pageSize, chip.pageCount, chip.boot, chip.arch, chip.hardware, chip.firmware})
                put(reply, v, 2);
            put(reply, 0x5000 + chip.cpuid, 4);
        } else if (command == 2) {
            const int page = int(le(request, 2, 2));
            const QByteArray bytes = request.mid(4);
            writes.append({index, page, int(bytes.size())});
            if (bytes.size() > chip.pageSize || (page + 1) * chip.pageSize > chip.flash.size())
                reply[1] = 1;
            else
                chip.flash.replace(page * chip.pageSize, bytes.size(), bytes);
            put(reply, uint32_t(page), 2);
        } else if (command == 3) {
            const uint32_t count = qMin<uint32_t>(le(request, 2, 4), uint32_t(chip.flash.size()));
            put(reply, crc16(reinterpret_cast<const uint8_t *>(chip.flash.constData()), count), 2);
        } else if (!multiChip) {
            if (current + 1 >= chips.size() && chainWraps)
                current = 0;
            else if (current + 1 >= chips.size())
                reply[1] = 3; // end of the chain
            else if (chainMoves)
                current = qMin(current + nextStep, int(chips.size()) - 1);
            if (reply[1] == 0)
                handoverUntilMs = clock.elapsed() + handoverMs;
        } else {
            open = open || chainMoves;
            handoverUntilMs = clock.elapsed() + handoverMs;
        }
        return reply;
    }

    UpdateService *service;
    bool multiChip;
    int current = 0;
    bool open = false;
    QElapsedTimer clock;
    qint64 handoverUntilMs = -1;
};
