// velmora-ptz pack: builds a package from image files.
#include "PackageFileReader.h"
#include "PackageFiles.h"
#include "PtzArguments.h"
#include "PtzCommands.h"
#include "PtzFile.h"

#include <QList>
#include <cstdio>

namespace PtzCommands {

namespace {

struct PackOptions
{
    QString output;
    uint8_t format = 1;
    uint16_t arch = 0, boot = 0, pack = 0;
    bool archSet = false, bootSet = false, packSet = false, formatSet = false;
    QList<PtzArguments::ImageArgument> images;
};

// Splits "--name=value" or takes the value from the next argument. Returns false (with a
// reason) when the value is missing.
bool takeValue(const QStringList &arguments, qsizetype *index, const QString &name, QString *inlineValue,
               QString *value, QString *error)
{
    if (!inlineValue->isNull()) {
        *value = *inlineValue;
        return true;
    }
    if (*index + 1 >= arguments.size()) {
        *error = QStringLiteral("%1 needs a value").arg(name);
        return false;
    }
    *value = arguments.at(++*index);
    return true;
}

// Fills `options`; on false *error is the one-line reason. Sets *help for --help.
bool parse(const QStringList &arguments, PackOptions *options, bool *help, QString *error)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            *help = true;
            return true;
        }
        if (!argument.startsWith(QLatin1Char('-'))) {
            if (!options->output.isEmpty()) {
                *error = QStringLiteral("pack takes one output file; '%1' is extra").arg(argument);
                return false;
            }
            options->output = argument;
            continue;
        }
        QString name = argument;
        QString inlineValue;
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (equals > 0) {
            name = argument.left(equals);
            inlineValue = argument.mid(equals + 1);
        }
        QString value;
        if (name == QLatin1String("--image")) {
            if (!takeValue(arguments, &i, name, &inlineValue, &value, error))
                return false;
            PtzArguments::ImageArgument image;
            if (!PtzArguments::parseImageArgument(value, &image, error))
                return false;
            options->images.append(image);
            continue;
        }
        uint16_t *code = nullptr;
        bool *seen = nullptr;
        bool hex = true;
        if (name == QLatin1String("--arch")) {
            code = &options->arch, seen = &options->archSet;
        } else if (name == QLatin1String("--boot")) {
            code = &options->boot, seen = &options->bootSet;
        } else if (name == QLatin1String("--pack")) {
            code = &options->pack, seen = &options->packSet, hex = false;
        } else if (name == QLatin1String("--format")) {
            seen = &options->formatSet;
        } else {
            *error = QStringLiteral("unknown option '%1' for pack").arg(name);
            return false;
        }
        if (*seen) {
            *error = QStringLiteral("%1 is given twice").arg(name);
            return false;
        }
        *seen = true;
        if (!takeValue(arguments, &i, name, &inlineValue, &value, error))
            return false;
        bool ok;
        if (!code)
            ok = PtzArguments::parseDecimal8(value, &options->format);
        else if (hex)
            ok = PtzArguments::parseHex16(value, code);
        else
            ok = PtzArguments::parseDecimal16(value, code);
        if (!ok) {
            *error = !code ? QStringLiteral("--format '%1' is not a decimal number from 0 to 255").arg(value)
                     : hex ? QStringLiteral("%1 '%2' is not a 16-bit hexadecimal number").arg(name, value)
                           : QStringLiteral("%1 '%2' is not a decimal number from 0 to 65535").arg(name, value);
            return false;
        }
    }
    if (options->output.isEmpty())
        *error = QStringLiteral("pack needs an output file");
    else if (!options->archSet)
        *error = QStringLiteral("pack needs --arch");
    else if (!options->bootSet)
        *error = QStringLiteral("pack needs --boot");
    else if (!options->packSet)
        *error = QStringLiteral("pack needs --pack");
    else if (options->images.isEmpty())
        *error = QStringLiteral("pack needs at least one --image");
    else if (options->images.size() > 0xFFFF)
        *error = QStringLiteral("a package holds at most 65535 images");
    return error->isEmpty();
}

} // namespace

int pack(const QStringList &arguments)
{
    PackOptions options;
    bool help = false;
    QString error;
    if (!parse(arguments, &options, &help, &error))
        return fail(UsageError, error);
    if (help) {
        std::fputs(qPrintable(packHelp()), stdout);
        return Success;
    }

    PtzFile package;
    quint64 size = 18;
    for (const PtzArguments::ImageArgument &image : options.images) {
        QByteArray bytes;
        if (!PackageFiles::readAll(image.file, &bytes, &error))
            return fail(FileError, QStringLiteral("cannot read image %1: %2").arg(image.file, error));
        if (bytes.isEmpty())
            return fail(FileError, QStringLiteral("image %1 is empty").arg(image.file));
        // Never build a package that the readers refuse as too large (the limit also keeps the
        // 32-bit record length and package size from wrapping).
        size += quint64((bytes.size() + 15) / 16 * 16) + 10;
        if (size > quint64(PackageFileReader::SizeLimit))
            return fail(FileError, QStringLiteral("the images do not fit a package (over %1)")
                                       .arg(PackageFileReader::sizeLimitText()));
        if (!package.addImage(image.hardware, image.firmware, bytes))
            return fail(FileError, QStringLiteral("image %1 was refused").arg(image.file));
    }
    const QByteArray bytes = package.build(options.format, options.boot, options.arch, options.pack);

    // Never write a package the reader would refuse.
    PtzFile check;
    QString reason;
    if (!PackageFiles::unpack(&check, bytes, &reason))
        return fail(FileError, QStringLiteral("the built package does not read back (%1); nothing written").arg(reason));
    if (!PackageFiles::writeAll(options.output, bytes, &error))
        return fail(FileError, QStringLiteral("cannot write %1: %2").arg(options.output, error));
    std::printf("%s: %lld bytes, %lld image(s)\n", qPrintable(options.output), static_cast<long long>(bytes.size()),
                static_cast<long long>(options.images.size()));
    return Success;
}

} // namespace PtzCommands
