// Hands a package file to an update service as the faces do: read once, then its bytes.
#pragma once

#include "UpdateService.h"

#include <QFile>

inline void givePackage(UpdateService &service, const QString &path)
{
    QFile file(path);
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    service.packageRequest(path, bytes);
}
