// Plain descriptions of update outcomes.
#include "UpdateOutcome.h"

namespace {

QString hex4(uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

QString hex8(uint32_t value)
{
    return QStringLiteral("%1").arg(value, 8, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString UpdateOutcome::detail() const
{
    switch (reason) {
    case CountMismatch:
        return QStringLiteral("package has %1 image%2, the gimbal has %3 chip%4")
            .arg(imageCount).arg(imageCount == 1 ? "" : "s").arg(chipCount).arg(chipCount == 1 ? "" : "s");
    case HardwareMismatch:
        return QStringLiteral("chip %1: hardware %2, package %3").arg(chip).arg(hex4(chipCode), hex4(packageCode));
    case ArchMismatch:
        return QStringLiteral("chip %1: structure %2, package %3").arg(chip).arg(hex4(chipCode), hex4(packageCode));
    case ChipChanged:
        return QStringLiteral("chip %1: listed cpuid %2 hardware %3, found cpuid %4 hardware %5")
            .arg(chip).arg(hex8(listedCpuid), hex4(packageCode), hex8(foundCpuid), hex4(chipCode));
    case FlashOverflow:
        return QStringLiteral("chip %1: image %2 bytes, flash %3 bytes").arg(chip).arg(imageSize).arg(flashSize);
    case ChipInfoFailed:
        return QStringLiteral("chip %1 did not answer before its write").arg(chip);
    case WriteFailed:
        return QStringLiteral("writing chip %1 failed").arg(chip);
    case ListFailed:
        return QStringLiteral("no valid answer while listing the chips");
    default:
        return QString();
    }
}

QString UpdateOutcome::reasonName(Reason reason)
{
    switch (reason) {
    case Connected: return QStringLiteral("connected");
    case Listing: return QStringLiteral("listing");
    case Listed: return QStringLiteral("listed");
    case ReadingPackage: return QStringLiteral("reading-package");
    case PackageImage: return QStringLiteral("package-image");
    case WritingChip: return QStringLiteral("writing-chip");
    case ChipUpToDate: return QStringLiteral("chip-up-to-date");
    case Success: return QStringLiteral("success");
    case NoBootloader: return QStringLiteral("no-bootloader");
    case Cancelled: return QStringLiteral("cancelled");
    case ListFailed: return QStringLiteral("list-failed");
    case PackageUnreadable: return QStringLiteral("package-unreadable");
    case PackageInvalid: return QStringLiteral("package-invalid");
    case CountMismatch: return QStringLiteral("count-mismatch");
    case HardwareMismatch: return QStringLiteral("hardware-mismatch");
    case ArchMismatch: return QStringLiteral("structure-mismatch");
    case ChipInfoFailed: return QStringLiteral("chip-info-failed");
    case ChipChanged: return QStringLiteral("chip-changed");
    case FlashOverflow: return QStringLiteral("flash-overflow");
    case WriteFailed: return QStringLiteral("write-failed");
    }
    return QString();
}
