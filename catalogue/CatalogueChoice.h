// Which releases of an index fit the gimbal on the table, and which one to take.
#pragma once

#include "CatalogueIndex.h"
#include "CatalogueReason.h"

#include <QList>

struct chipInfo;

// What the bootloader listed: the chips' hardware codes in order, the first chip's
// architecture code and its running firmware.
struct CatalogueTarget
{
    bool hasArch = false; // false when only hardware codes are known (--hardware)
    uint16_t arch = 0;
    QList<uint16_t> hardware;
    QString running; // the first chip's firmware as a version, empty when unknown

    static CatalogueTarget fromChips(const QList<chipInfo> &chips);
    // "0101,0102" as the command line takes it; false for anything but 4-hex-digit codes.
    static bool fromHardwareText(const QString &text, CatalogueTarget *target);
};

struct CatalogueChoice
{
    CatalogueReason refusal = CatalogueReason::NoMatch;
    QString detail;
    CatalogueRelease release; // when chosen

    bool chosen() const { return refusal == CatalogueReason::None; }
};

namespace CatalogueMatch {

// Whether the release is for these chips: the same architecture (when known) and the same
// hardware codes in the same order.
bool fits(const CatalogueRelease &release, const CatalogueTarget &target);
// Whether a release of `releaseChannel` is offered to someone following `channel`: "stable"
// follows stable only, any other channel follows itself and stable.
bool follows(const QString &channel, const QString &releaseChannel);
// The fitting releases `channel` follows, newest first.
QList<CatalogueRelease> matching(const CatalogueIndex &index, const CatalogueTarget &target, const QString &channel);
// `wanted` is "latest" (the newest fitting release of the channel) or a version (any channel).
// A release older than the running firmware is chosen only with `allowOlder`.
CatalogueChoice choose(const CatalogueIndex &index, const CatalogueTarget &target, const QString &channel,
                       const QString &wanted, bool allowOlder);

} // namespace CatalogueMatch
