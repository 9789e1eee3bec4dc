// Runs an UpdateService against a ScriptedBootloader and records what the service reports.
#pragma once

#include "GivePackage.h"
#include "MetaTypes.h"
#include "PtzFile.h"
#include "ScriptedBootloader.h"
#include "UpdateService.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Signals of the service arrive queued in the test's thread, as they reach the window.
class UpdateRig
{
public:
    using Report = QPair<int, QString>;

    explicit UpdateRig(bool multiChip)
        : device(&service, multiChip)
    {
        registerQueuedMetaTypes();
        registerUpdateMetaTypes();
        QObject::connect(&service, &UpdateService::updateReport, &context,
                         [this](int type, const QString &msg) { reports.append({type, msg}); });
        QObject::connect(&service, &UpdateService::progressUpdate, &context, [this](int v) { progress.append(v); });
        QObject::connect(&service, &UpdateService::connectTimeout, &context, [this](int v) { countdown.append(v); });
        QObject::connect(&service, &UpdateService::deviceListUpdate, &context,
                         [this](const QList<deviceInfo> &list) { deviceLists.append(list); });
        QObject::connect(&service, &UpdateService::updateOutcome, &context,
                         [this](const UpdateOutcome &outcome) { outcomes.append(outcome); });
        QObject::connect(&service, &UpdateService::updateStep, &context,
                         [this](const UpdateOutcome &step) { steps.append(step.reason); });
        service.setMultiChip(multiChip);
    }
    ~UpdateRig()
    {
        service.stop();
        service.wait();
    }

    // Starts the loop and waits until it has taken up the cancel of the mode change, so that
    // a connect request that follows is not swallowed with it.
    void start()
    {
        service.start();
        QTRY_COMPARE(service.pendingEvents(), 0u);
    }
    bool connectAndList()
    {
        const qsizetype lists = deviceLists.size();
        service.connectRequest();
        return QTest::qWaitFor([&] { return deviceLists.size() > lists; }, 10000);
    }

    QString writePackage(const QList<QPair<uint16_t, QByteArray>> &images, uint16_t arch = 0x4B35)
    {
        PtzFile file;
        for (const auto &image : images)
            file.addImage(image.first, 105, image.second);
        return writeFile(file.build(1, 0x0100, arch, 1));
    }
    QString writeFile(const QByteArray &bytes)
    {
        QFile out(dir.filePath(QString::number(++files) + QStringLiteral(".ptz")));
        if (out.open(QIODevice::WriteOnly))
            out.write(bytes);
        return out.fileName();
    }

    // Hands over the package; true once the update has sent RUN or RESTART after its final
    // report, or a report (-1, failure) has come.
    bool update(const QString &path, const QString &failure = QString())
    {
        givePackage(service, path);
        return QTest::qWaitFor([&] { return finished() || (!failure.isEmpty() && reports.contains({-1, failure})); }, 15000);
    }
    bool finished() const
    {
        if (reports.isEmpty() || device.requests.isEmpty())
            return false;
        const bool finalReport = reports.last().first == 3 || reports.last().second.contains(QStringLiteral("重启至升级模式"));
        const uint8_t last = device.codes().last();
        return finalReport && (service.multiChip() ? (last == 0x16 || last == 0x17) : (last == 0x22 || last == 0x23));
    }
    bool succeeded() const
    {
        for (const Report &report : reports) {
            if (report.first == 3)
                return true;
        }
        return false;
    }

    // Waits until an outcome has come, then longer than any reply time-out, and tells whether
    // anything at all was sent or reported after it (nothing must be).
    bool quietAfterOutcome()
    {
        if (!QTest::qWaitFor([&] { return !outcomes.isEmpty(); }, 15000))
            return false;
        const qsizetype sent = device.requests.size();
        const qsizetype said = reports.size() + outcomes.size() + deviceLists.size();
        QTest::qWait(700); // the longest quiet the service keeps is a 500 ms reply wait
        return device.requests.size() == sent && reports.size() + outcomes.size() + deviceLists.size() == said;
    }
    UpdateOutcome::Reason lastOutcome() const { return outcomes.isEmpty() ? UpdateOutcome::Connected : outcomes.last().reason; }

    static QByteArray pattern(int size, int seed)
    {
        QByteArray bytes(size, '\0');
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + seed * 13 + (i >> 8)) & 0xFF);
        return bytes;
    }

    QTemporaryDir dir;
    int files = 0;
    UpdateService service;
    ScriptedBootloader device;
    QObject context;
    QList<Report> reports;
    QList<int> progress, countdown;
    QList<QList<deviceInfo>> deviceLists;
    QList<UpdateOutcome> outcomes;
    QList<UpdateOutcome::Reason> steps;
};
