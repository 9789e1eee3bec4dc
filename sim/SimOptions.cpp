// The command line of velmora-gimbal-sim.
#include "SimOptions.h"

#include "PackageFileReader.h"
#include "PtzFile.h"
#include "VelmoraVersion.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

namespace {

bool fail(const QString &message)
{
    std::fprintf(stderr, "velmora-gimbal-sim: %s\n", qPrintable(message));
    return false;
}

bool parseRate(const QCommandLineParser &parser, const QString &name, double *rate)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *rate = parser.value(name).toDouble(&ok);
    return ok && *rate >= 0 && *rate <= 1;
}

// An integer in decimal or with a 0x prefix, within [low, high].
bool parseNumber(const QString &text, qint64 low, qint64 high, qint64 *value)
{
    bool ok = false;
    *value = text.trimmed().toLongLong(&ok, 0);
    return ok && *value >= low && *value <= high;
}

bool parseImuFault(const QString &name, ImuFault *fault)
{
    static const QList<QPair<QString, ImuFault>> names{
        {QStringLiteral("none"), ImuFault::None},
        {QStringLiteral("save-not-kept"), ImuFault::SaveNotKept},
        {QStringLiteral("gyro-drift"), ImuFault::GyroDrift},
        {QStringLiteral("noisy-accel"), ImuFault::NoisyAccel},
        {QStringLiteral("never-still"), ImuFault::NeverStill},
    };
    for (const auto &entry : names) {
        if (entry.first == name) {
            *fault = entry.second;
            return true;
        }
    }
    return false;
}

bool readPackage(const QString &path, PtzFile *package)
{
    const PackageFileReader::Result file = PackageFileReader::read(path);
    if (file.outcome != PackageFileReader::Outcome::Ok)
        return fail(path + QStringLiteral(": not a readable regular file of at most ") + PackageFileReader::sizeLimitText());
    if (!package->unpack(file.bytes))
        return fail(path + QStringLiteral(": not a valid .ptz package"));
    return true;
}

// --chips, --page-size, --page-count, --arch, --hardware, --match: the chips of the bootloader.
bool parseChips(const QCommandLineParser &parser, SimOptions *options)
{
    qint64 chips = 2;
    QList<uint16_t> hardware;
    uint16_t arch = BootloaderSettings::defaultChip(0).arch;
    // The images of --match and --preload, by chip: a chip that holds one reports its version.
    QList<ptzImage> known;
    if (parser.isSet(QStringLiteral("match"))) {
        PtzFile package;
        if (!readPackage(parser.value(QStringLiteral("match")), &package))
            return false;
        const ptzHeader &head = package.header();
        if (head.images.isEmpty() || head.images.size() > 15)
            return fail(QStringLiteral("--match needs a package with 1 to 15 images"));
        chips = head.images.size();
        arch = head.arch;
        for (const ptzImage &image : head.images)
            hardware.append(image.hardware);
        known = head.images;
    }
    if (parser.isSet(QStringLiteral("preload"))) {
        PtzFile package;
        if (!readPackage(parser.value(QStringLiteral("preload")), &package))
            return false;
        for (const ptzImage &image : package.header().images)
            options->preload.append(image.data);
        known += package.header().images;
    }
    qint64 value = 0;
    if (parser.isSet(QStringLiteral("hardware"))) {
        hardware.clear();
        for (const QString &item : parser.value(QStringLiteral("hardware")).split(QLatin1Char(','))) {
            if (!parseNumber(item, 0, 0xFFFF, &value))
                return fail(QStringLiteral("--hardware takes codes from 0 to 0xFFFF separated by commas"));
            hardware.append(uint16_t(value));
        }
        chips = hardware.size();
    }
    if (parser.isSet(QStringLiteral("chips"))) {
        if (!parseNumber(parser.value(QStringLiteral("chips")), 1, 15, &chips))
            return fail(QStringLiteral("--chips must be 1 to 15"));
        if (!hardware.isEmpty() && hardware.size() != chips)
            return fail(QStringLiteral("--chips %1 but %2 hardware codes").arg(chips).arg(hardware.size()));
    }
    if (chips > 15)
        return fail(QStringLiteral("at most 15 chips"));
    if (parser.isSet(QStringLiteral("arch"))) {
        if (!parseNumber(parser.value(QStringLiteral("arch")), 0, 0xFFFF, &value))
            return fail(QStringLiteral("--arch must be 0 to 0xFFFF"));
        arch = uint16_t(value);
    }
    qint64 pageSize = 1024;
    qint64 pageCount = 64;
    // A page and its request header must fit into one frame's 65535-byte payload.
    if (parser.isSet(QStringLiteral("page-size"))
        && !parseNumber(parser.value(QStringLiteral("page-size")), 1, 65531, &pageSize))
        return fail(QStringLiteral("--page-size must be 1 to 65531"));
    if (parser.isSet(QStringLiteral("page-count"))
        && !parseNumber(parser.value(QStringLiteral("page-count")), 1, 65535, &pageCount))
        return fail(QStringLiteral("--page-count must be 1 to 65535"));
    if (pageSize * pageCount > (qint64(1) << 30))
        return fail(QStringLiteral("flash larger than 1 GiB"));

    options->roles.bootloader.chips.clear();
    for (int i = 0; i < chips; ++i) {
        SimChipInfo chip = BootloaderSettings::defaultChip(i);
        chip.arch = arch;
        if (!hardware.isEmpty())
            chip.hardware = hardware[i];
        chip.pageSize = uint16_t(pageSize);
        chip.pageCount = uint16_t(pageCount);
        for (const ptzImage &image : std::as_const(known))
            if (image.hardware == chip.hardware)
                chip.knownImages.append({image.data, image.firmware});
        options->roles.bootloader.chips.append(chip);
    }
    return true;
}

bool parseRoles(const QCommandLineParser &parser, SimOptions *options)
{
    const QString role = parser.value(QStringLiteral("role"));
    if (role == QLatin1String("runtime"))
        options->roles.role = RoleSettings::Runtime;
    else if (role == QLatin1String("bootloader"))
        options->roles.role = RoleSettings::Bootloader;
    else if (role == QLatin1String("auto"))
        options->roles.role = RoleSettings::Auto;
    else
        return fail(QStringLiteral("--role must be runtime, bootloader or auto"));
    const QString afterRun = parser.value(QStringLiteral("after-run"));
    if (afterRun == QLatin1String("stay"))
        options->roles.afterRun = RoleSettings::NewFirmware::None;
    else if (afterRun == QLatin1String("starts"))
        options->roles.afterRun = RoleSettings::NewFirmware::Starts;
    else if (afterRun == QLatin1String("silent"))
        options->roles.afterRun = RoleSettings::NewFirmware::Silent;
    else if (afterRun == QLatin1String("nonsense"))
        options->roles.afterRun = RoleSettings::NewFirmware::Nonsense;
    else
        return fail(QStringLiteral("--after-run must be stay, starts, silent or nonsense"));
    qint64 value = 0;
    if (!parseNumber(parser.value(QStringLiteral("boot-delay-ms")), 0, 3600000, &value))
        return fail(QStringLiteral("--boot-delay-ms must be 0 to 3600000"));
    options->roles.bootDelayMs = int(value);
    if (!parseNumber(parser.value(QStringLiteral("page-write-ms")), 0, 60000, &value))
        return fail(QStringLiteral("--page-write-ms must be 0 to 60000"));
    options->roles.bootloader.pageWriteMs = int(value);
    options->roles.bootloader.multiChip = parser.isSet(QStringLiteral("multi-chip"));
    if (!parseNumber(parser.value(QStringLiteral("reply-delay-ms")), 0, 60000, &value))
        return fail(QStringLiteral("--reply-delay-ms must be 0 to 60000"));
    options->roles.bootloader.replyDelayMs = int(value);
    if (!parseNumber(parser.value(QStringLiteral("handover-ms")), 0, 60000, &value))
        return fail(QStringLiteral("--handover-ms must be 0 to 60000"));
    options->roles.bootloader.handoverMs = int(value);
    const QString nextFault = parser.value(QStringLiteral("next-fault"));
    if (nextFault == QLatin1String("none"))
        options->roles.bootloader.nextFault = BootloaderSettings::NextFault::None;
    else if (nextFault == QLatin1String("skip"))
        options->roles.bootloader.nextFault = BootloaderSettings::NextFault::Skip;
    else if (nextFault == QLatin1String("stuck"))
        options->roles.bootloader.nextFault = BootloaderSettings::NextFault::Stuck;
    else if (nextFault == QLatin1String("wrap"))
        options->roles.bootloader.nextFault = BootloaderSettings::NextFault::Wrap;
    else
        return fail(QStringLiteral("--next-fault must be none, skip, stuck or wrap"));
    options->roles.bootloader.reorderAfterListing = parser.isSet(QStringLiteral("reorder-after-listing"));
    if (!parseChips(parser, options))
        return false;
    options->flashDir = parser.value(QStringLiteral("flash-dir"));
    return true;
}

} // namespace

bool parseSimOptions(const QCoreApplication &app, SimOptions *options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated gimbal answering the runtime or the bootloader protocol on a pseudo-terminal.\n"
        "Prints VELMORA_VIRTUAL_PORTS=<path> once ready; pass that line to Velmora's environment."));
    parser.addHelpOption();
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("role"), QStringLiteral("runtime (default), bootloader, or auto: runtime until bootloader probes arrive, then the bootloader after --boot-delay-ms, and runtime again after RUN."), QStringLiteral("ROLE"), QStringLiteral("runtime")},
        {QStringLiteral("profile"), QStringLiteral("Register profile: 0, 1 or 2 (default 2)."), QStringLiteral("N"), QStringLiteral("2")},
        {QStringLiteral("user"), QStringLiteral("Simulated user: turns the gimbal through the six faces during a calibration.")},
        {QStringLiteral("silent"), QStringLiteral("Never answer (a gimbal that is switched off).")},
        {QStringLiteral("drop"), QStringLiteral("Drop each answer byte with this probability (0-1)."), QStringLiteral("RATE")},
        {QStringLiteral("corrupt"), QStringLiteral("Corrupt each answer byte with this probability (0-1)."), QStringLiteral("RATE")},
        {QStringLiteral("stray-bytes"), QStringLiteral("Put 1 to 4 stray bytes on the line every MS milliseconds, between answers; they never begin a frame (default 0: none)."), QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the noise and fault generators (default 1)."), QStringLiteral("N"), QStringLiteral("1")},
        {QStringLiteral("pace"), QStringLiteral("Carry bytes at 115200-baud line speed both ways (the default).")},
        {QStringLiteral("no-pace"), QStringLiteral("Take and send bytes as fast as possible.")},
        {QStringLiteral("solve-fails"), QStringLiteral("Make the accelerometer solve report failure.")},
        {QStringLiteral("calibrated"), QStringLiteral("Start calibrated: the sensor's own offsets, scale errors and gyroscope bias (picked by --seed) are corrected; by default they show until a calibration removes them.")},
        {QStringLiteral("imu-fault"), QStringLiteral("A sensor fault: save-not-kept (a save is acknowledged, but the gimbal goes back to the calibration it had), gyro-drift (after the gyroscope step the bias creeps back, 0.5 deg/s per second), noisy-accel (accelerometer noise of +-0.05 g at rest), never-still (motion always above the stillness limit), or none (default)."), QStringLiteral("NAME"), QStringLiteral("none")},
        {QStringLiteral("no-save-answer"), QStringLiteral("Never acknowledge the save command (the host retries it, then gives up).")},
        {QStringLiteral("time-scale"), QStringLiteral("Multiply every runtime device delay by F (e.g. 0.1 runs ten times faster)."), QStringLiteral("F"), QStringLiteral("1")},
        {QStringLiteral("chips"), QStringLiteral("Bootloader: number of chips, 1 to 15 (default 2)."), QStringLiteral("N")},
        {QStringLiteral("page-size"), QStringLiteral("Bootloader: flash page size in bytes (default 1024)."), QStringLiteral("BYTES")},
        {QStringLiteral("page-count"), QStringLiteral("Bootloader: flash pages per chip (default 64)."), QStringLiteral("N")},
        {QStringLiteral("arch"), QStringLiteral("Bootloader: structure code of the chips (default 0x4B35)."), QStringLiteral("CODE")},
        {QStringLiteral("hardware"), QStringLiteral("Bootloader: hardware code of each chip, e.g. 0x0101,0x0102."), QStringLiteral("H1,H2,...")},
        {QStringLiteral("match"), QStringLiteral("Bootloader: take the chip count, structure and hardware codes from a package; a chip holding one of its images (once written) reports that image's firmware version."), QStringLiteral("PACKAGE")},
        {QStringLiteral("preload"), QStringLiteral("Bootloader: put a package's images into the chips' flash; a chip holding one reports its firmware version."), QStringLiteral("PACKAGE")},
        {QStringLiteral("flash-dir"), QStringLiteral("Bootloader: keep each chip's flash in DIR/chip<N>.bin across runs."), QStringLiteral("DIR")},
        {QStringLiteral("multi-chip"), QStringLiteral("Bootloader: multi-chip addressing (chip k answers codes k*16+n) instead of one address.")},
        {QStringLiteral("page-write-ms"), QStringLiteral("Bootloader: time one page write takes (default 0)."), QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("reply-delay-ms"), QStringLiteral("Bootloader: answer each request this late, without holding up the requests after it (default 0)."), QStringLiteral("MS"), QStringLiteral("0")},
        {QStringLiteral("handover-ms"), QStringLiteral("Bootloader: after NEXT the chain hears nothing but RUN and RESTART for this long (default 5)."), QStringLiteral("MS"), QStringLiteral("5")},
        {QStringLiteral("next-fault"), QStringLiteral("Bootloader, once a listing has ended (second RESTART): skip = NEXT passes over one chip, stuck = NEXT is acknowledged but moves nothing (in multi-chip mode: addresses 2 and up stay closed); from the first listing on, wrap = NEXT at the last chip leads back to the first (single address); none (default)."), QStringLiteral("MODE"), QStringLiteral("none")},
        {QStringLiteral("reorder-after-listing"), QStringLiteral("Bootloader: once a listing has ended (second RESTART), the chips change places (the chain rotates by one), as if replugged.")},
        {QStringLiteral("after-run"), QStringLiteral("Role bootloader: after RUN the bootloader stays (stay, the default), or the new firmware starts (starts), never answers (silent) or reads 3 g at rest (nonsense). Role auto always starts it."), QStringLiteral("MODE"), QStringLiteral("stay")},
        {QStringLiteral("boot-delay-ms"), QStringLiteral("Role auto: delay from the first bootloader probe to the bootloader (default 2000)."), QStringLiteral("MS"), QStringLiteral("2000")},
        {QStringLiteral("trace"), QStringLiteral("Print one line per answered write (\"W 0009 0002\") or command (\"C C005 A151\"), per bootloader request (\"B WRITE_PAGE 1 17\") and per role change.")},
        {QStringLiteral("trace-time"), QStringLiteral("With --trace: end each line with \" @\" and the monotonic clock in nanoseconds, for timing the host.")},
        {QStringLiteral("link"), QStringLiteral("Path of the symlink to the port (default <temp>/velmora-gimbal, or velmora-gimbal-2 to -9 "
                                      "while other simulators hold it). A link a running simulator holds is never replaced."), QStringLiteral("PATH")},
    });
    parser.process(app);

    bool ok = false;
    options->gimbal.profile = parser.value(QStringLiteral("profile")).toInt(&ok);
    if (!ok || options->gimbal.profile < 0 || options->gimbal.profile > 2)
        return fail(QStringLiteral("--profile must be 0, 1 or 2"));
    options->gimbal.timeScale = parser.value(QStringLiteral("time-scale")).toDouble(&ok);
    if (!ok || options->gimbal.timeScale <= 0)
        return fail(QStringLiteral("--time-scale must be a number above 0"));
    const quint32 seed = parser.value(QStringLiteral("seed")).toUInt(&ok);
    if (!ok)
        return fail(QStringLiteral("--seed must be a non-negative integer"));
    if (!parseRate(parser, QStringLiteral("drop"), &options->line.dropRate)
        || !parseRate(parser, QStringLiteral("corrupt"), &options->line.corruptRate))
        return fail(QStringLiteral("--drop and --corrupt take a probability from 0 to 1"));
    qint64 strayMs = 0;
    if (!parseNumber(parser.value(QStringLiteral("stray-bytes")), 0, 60000, &strayMs))
        return fail(QStringLiteral("--stray-bytes must be 0 to 60000"));
    options->line.strayEveryMs = int(strayMs);
    options->gimbal.seed = seed;
    options->line.seed = seed + 1; // the line's faults do not follow the sensor noise
    options->gimbal.simulatedUser = parser.isSet(QStringLiteral("user"));
    options->gimbal.solveFails = parser.isSet(QStringLiteral("solve-fails"));
    options->gimbal.answersSave = !parser.isSet(QStringLiteral("no-save-answer"));
    options->gimbal.calibrated = parser.isSet(QStringLiteral("calibrated"));
    if (!parseImuFault(parser.value(QStringLiteral("imu-fault")), &options->gimbal.imuFault))
        return fail(QStringLiteral("--imu-fault must be none, save-not-kept, gyro-drift, noisy-accel or never-still"));
    options->line.silent = parser.isSet(QStringLiteral("silent"));
    options->line.pace = !parser.isSet(QStringLiteral("no-pace"));
    options->trace = parser.isSet(QStringLiteral("trace"));
    options->traceTime = parser.isSet(QStringLiteral("trace-time"));
    options->linkGiven = parser.isSet(QStringLiteral("link"));
    options->linkPath = parser.isSet(QStringLiteral("link")) ? parser.value(QStringLiteral("link"))
                                                             : QDir::tempPath() + QStringLiteral("/velmora-gimbal");
    return parseRoles(parser, options);
}
