// What the journal knows of listed chips: when each was last updated here, and from which
// firmware to which.
#pragma once

#include "ChipInfo.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>

class JournalStore;

class ChipHistory
{
    Q_DECLARE_TR_FUNCTIONS(ChipHistory)

public:
    // One line per listed chip (numbered from 1, in listing order) that an update recorded in
    // `store` wrote or found up to date, from the newest such record; none for a chip the
    // journal never saw so. Empty, with `error` set, when the journal cannot be read.
    static QStringList lines(JournalStore &store, const QList<chipInfo> &chips, QString *error);
};
