// Matching releases to listed chips, and the choice of latest, a pinned version or an older one.
#include "CatalogueChoice.h"
#include "ChipInfo.h"

#include <QRegularExpression>

#include <algorithm>

CatalogueTarget CatalogueTarget::fromChips(const QList<chipInfo> &chips)
{
    CatalogueTarget target;
    if (chips.isEmpty())
        return target;
    target.hasArch = true;
    target.arch = chips.first().arch;
    target.running = CatalogueVersions::fromCode(chips.first().firmware);
    for (const chipInfo &chip : chips)
        target.hardware.append(chip.hardware);
    return target;
}

bool CatalogueTarget::fromHardwareText(const QString &text, CatalogueTarget *target)
{
    static const QRegularExpression code(QStringLiteral("^[0-9A-Fa-f]{4}$"));
    CatalogueTarget result;
    for (const QString &part : text.split(QLatin1Char(','))) {
        if (!code.match(part.trimmed()).hasMatch())
            return false;
        result.hardware.append(uint16_t(part.trimmed().toUInt(nullptr, 16)));
    }
    *target = result;
    return true;
}

bool CatalogueMatch::fits(const CatalogueRelease &release, const CatalogueTarget &target)
{
    if (target.hasArch && release.arch != target.arch)
        return false;
    if (release.images.size() != target.hardware.size())
        return false;
    for (qsizetype i = 0; i < release.images.size(); ++i) {
        if (release.images[i].hardware != target.hardware[i])
            return false;
    }
    return true;
}

bool CatalogueMatch::follows(const QString &channel, const QString &releaseChannel)
{
    return releaseChannel == channel || releaseChannel == QLatin1String("stable");
}

QList<CatalogueRelease> CatalogueMatch::matching(const CatalogueIndex &index, const CatalogueTarget &target,
                                                 const QString &channel)
{
    QList<CatalogueRelease> result;
    for (const CatalogueRelease &release : index.releases) {
        if (follows(channel, release.channel) && fits(release, target))
            result.append(release);
    }
    std::stable_sort(result.begin(), result.end(), [](const CatalogueRelease &a, const CatalogueRelease &b) {
        return CatalogueVersions::compare(a.version, b.version) > 0;
    });
    return result;
}

CatalogueChoice CatalogueMatch::choose(const CatalogueIndex &index, const CatalogueTarget &target,
                                       const QString &channel, const QString &wanted, bool allowOlder)
{
    CatalogueChoice choice;
    if (wanted == QLatin1String("latest")) {
        const QList<CatalogueRelease> fitting = matching(index, target, channel);
        if (fitting.isEmpty()) {
            choice.detail = QStringLiteral("no %1 release fits these chips").arg(channel);
            return choice;
        }
        choice.release = fitting.first();
    } else {
        bool found = false;
        for (const CatalogueRelease &release : index.releases) {
            if (release.version == wanted && fits(release, target)) {
                choice.release = release;
                found = true;
                break;
            }
        }
        if (!found) {
            choice.detail = QStringLiteral("no release %1 fits these chips").arg(wanted);
            return choice;
        }
    }
    if (!allowOlder && !target.running.isEmpty() && CatalogueVersions::compare(choice.release.version, target.running) < 0) {
        choice.refusal = CatalogueReason::Older;
        choice.detail = QStringLiteral("%1 is older than the running %2").arg(choice.release.version, target.running);
        return choice;
    }
    choice.refusal = CatalogueReason::None;
    return choice;
}
