// What an update step or a whole update came to, as a value: a reason and the chip concerned.
#pragma once

#include <QMetaType>
#include <QString>
#include <cstdint>

// Faces (the window, the command line) turn these into words; nobody needs to read the
// service's translated messages to know what happened.
struct UpdateOutcome
{
    enum Reason {
        // Steps of an update in progress (updateStep).
        Connected,       // the bootloader answered
        Listing,         // the chips are being listed
        Listed,          // chipCount chips were listed
        ReadingPackage,  // the package was read and is about to be matched
        PackageImage,    // image `chip` of the package: hardware packageCode, firmware
        WritingChip,     // chip `chip` is being written
        ChipUpToDate,    // chip `chip` already holds its image; nothing was written
        // Ends (updateOutcome).
        Success,           // every chip written or up to date; RUN sent
        NoBootloader,      // nothing answered the probe (or it was cancelled)
        Cancelled,         // a cancel or stop ended the listing or the update
        ListFailed,        // the chips could not be read: no or damaged replies
        PackageUnreadable, // the package cannot be read (a word older records carry: the service now takes only checked bytes)
        PackageInvalid,    // the package file is not a valid package
        CountMismatch,     // imageCount images for chipCount chips
        HardwareMismatch,  // chip `chip` has hardware chipCode, its image packageCode
        ArchMismatch,      // the first chip's structure chipCode, the package's packageCode
        ChipInfoFailed,    // chip `chip` did not answer before its write (RESTART sent)
        ChipChanged,       // chip `chip` is not the chip listed at its place (RESTART sent)
        FlashOverflow,     // image `chip` (imageSize) exceeds its chip's flash (flashSize) (RESTART sent)
        WriteFailed,       // writing or verifying chip `chip` failed (RESTART sent)
    };

    Reason reason = Cancelled;
    int chip = 0; // counted from 1; 0 when no chip is concerned
    int chipCount = 0;
    int imageCount = 0;
    uint16_t chipCode = 0;    // hardware or structure code reported by the chip
    uint16_t packageCode = 0; // hardware or structure code in the package
    uint32_t listedCpuid = 0; // ChipChanged: the chip listed at this place
    uint32_t foundCpuid = 0;  // ChipChanged: the chip that answered there now
    uint16_t firmware = 0;    // PackageImage: version times 100
    qint64 imageSize = 0;
    qint64 flashSize = 0;
    double elapsedSeconds = 0;
    // Ends after the write began: the pages written and acknowledged, and the command that
    // left the gimbal running its firmware (RUN) or back in its bootloader (RESTART).
    enum EndCommand { NoEndCommand, RunSent, RestartSent };
    int pagesWritten = 0;
    EndCommand endCommand = NoEndCommand;

    bool isEnd() const { return reason >= Success; }
    bool succeeded() const { return reason == Success; }
    // What differs or what failed, in plain English (for debug lines and the command line),
    // for example "package has 3 images, the gimbal has 2 chips"; empty when there is nothing to add.
    QString detail() const;
    // A stable lower-case name of the reason ("hardware-mismatch"), for machine-readable output.
    static QString reasonName(Reason reason);
};

Q_DECLARE_METATYPE(UpdateOutcome)
