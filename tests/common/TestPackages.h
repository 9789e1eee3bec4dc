// Package files for tests: random images for the simulator's default chips, and a check of its flash files.
#pragma once

#include "PtzFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QRandomGenerator>
#include <QString>

// A package for the simulator's default chips (structure 0x4B35, hardware 0x0101, 0x0102, ...)
// with random images of the given sizes, written to `path`; returns the images as stored.
inline QList<QByteArray> writeTestPackage(const QString &path, const QList<int> &sizes, quint32 seed)
{
    QRandomGenerator random(seed);
    PtzFile package;
    for (int i = 0; i < sizes.size(); ++i) {
        QByteArray data(sizes[i], Qt::Uninitialized);
        for (char &byte : data)
            byte = char(random.bounded(256));
        package.addImage(uint16_t(0x0101 + i), 100, data);
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(package.build(1, 0x0100, 0x4B35, 1)) < 0)
        return {};
    QList<QByteArray> images;
    for (const ptzImage &image : package.header().images)
        images.append(image.data);
    return images;
}

// True when chip k's flash file (DIR/chip<k+1>.bin) starts with image k, for every image.
inline bool flashHoldsImages(const QString &flashDir, const QList<QByteArray> &images, QString *mismatch = nullptr)
{
    for (int i = 0; i < images.size(); ++i) {
        QFile file(flashDir + QStringLiteral("/chip%1.bin").arg(i + 1));
        if (!file.open(QIODevice::ReadOnly) || file.read(images[i].size()) != images[i]) {
            if (mismatch)
                *mismatch = QStringLiteral("chip %1").arg(i + 1);
            return false;
        }
    }
    return true;
}
