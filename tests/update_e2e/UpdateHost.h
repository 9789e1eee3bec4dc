// The update's byte path as the window wires it, against a simulator's port; shared by the end-to-end tests and the benchmark.
#pragma once

#include "GivePackage.h"
#include "BootloaderLink.h"
#include "DeviceInfo.h"
#include "PortListener.h"
#include "PtzFile.h"
#include "SerialPort.h"
#include "UpdateService.h"
#include "../common/TestPackages.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QList>
#include <QPair>
#include <QRandomGenerator>

// Service → link → port worker → serial port, and back, connected in the order the data flows.
// The reports arrive queued in the thread that made the host.
struct UpdateHost
{
    UpdateHost()
        : listener(&port)
    {
        QObject::connect(&service, &UpdateService::transmitBytes, &link, &BootloaderLink::transmitBytes);
        QObject::connect(&link, &BootloaderLink::rxFlush, &listener, &PortListener::flush);
        QObject::connect(&link, &BootloaderLink::streamOut, &listener, &PortListener::writeBytes);
        QObject::connect(&listener, &PortListener::readBytes, &link, &BootloaderLink::parser);
        QObject::connect(&link, &BootloaderLink::recvFrame, &service, &UpdateService::onRecvFrame);
        QObject::connect(&link, &BootloaderLink::frameBytesArrived, &service, &UpdateService::onFrameBytes);
        QObject::connect(&service, &UpdateService::updateReport, &context,
                         [this](int type, const QString &message) { reports.append({type, message}); });
        QObject::connect(&service, &UpdateService::deviceListUpdate, &context,
                         [this](const QList<deviceInfo> &devices) { lists.append(devices); });
        QObject::connect(&service, &UpdateService::progressUpdate, &context, [this](int value) { progress.append(value); });
        QObject::connect(&service, &UpdateService::updateOutcome, &context,
                         [this](const UpdateOutcome &outcome) { outcomes.append(outcome); });
    }
    ~UpdateHost()
    {
        service.stop();
        service.wait();
    }

    bool open(const QString &path)
    {
        port.setPortName(path);
        return port.open();
    }

    // The last report of one of `types`, or type 99 when none came within the time-out.
    QPair<int, QString> waitReport(const QList<int> &types, int timeoutMs, qsizetype from = 0)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            for (qsizetype i = reports.size() - 1; i >= from; --i)
                if (types.contains(reports[i].first))
                    return reports[i];
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return {99, QString()};
    }

    // One whole update as the firmware tab runs it: connect, wait for the chip list, hand over
    // the package. Returns the report that ended it (3 success, -1 failure, 2 no bootloader).
    QPair<int, QString> update(const QString &packagePath, int timeoutMs)
    {
        const qsizetype start = reports.size();
        const qsizetype listsBefore = lists.size();
        service.connectRequest();
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired() && lists.size() == listsBefore) {
            for (qsizetype i = start; i < reports.size(); ++i)
                if (reports[i].first == 2 || reports[i].first == -1)
                    return reports[i];
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        if (lists.size() == listsBefore)
            return {99, QString()};
        givePackage(service, packagePath);
        return waitReport({3, -1}, int(std::max<qint64>(1, deadline.remainingTime())), start);
    }

    SerialPort port;
    PortListener listener;
    BootloaderLink link;
    UpdateService service;
    QObject context;
    QList<QPair<int, QString>> reports;
    QList<QList<deviceInfo>> lists;
    QList<int> progress;
    QList<UpdateOutcome> outcomes;
};
