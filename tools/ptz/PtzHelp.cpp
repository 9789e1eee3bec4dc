// Help texts of velmora-ptz and its one-line error reporting.
#include "PtzCommands.h"

#include <cstdio>

namespace PtzCommands {

namespace {

const char *exitStatuses = "Exit status:\n"
                           "  0  success\n"
                           "  1  a file cannot be read or written, or the package is invalid\n"
                           "  2  bad arguments\n"
                           "  3  verify: an image's record CRC does not match its data;\n"
                           "     catalogue check: a client would refuse something in the folder\n"
                           "  4  verify only: the package's signature does not hold, or its key is not trusted\n";

} // namespace

QString mainHelp()
{
    return QStringLiteral("Usage: velmora-ptz COMMAND [ARGUMENTS]\n"
                          "Builds and checks Velmora firmware packages (.ptz).\n"
                          "\n"
                          "Commands:\n"
                          "  pack OUT --arch A --boot B --pack P --image HW:VERSION:FILE [--image ...]\n"
                          "                  build a package from image files\n"
                          "  info PACKAGE    show a package's header and images\n"
                          "  verify PACKAGE [--key K.pub]\n"
                          "                  check a package, each image's own CRC and its signature\n"
                          "                  (PACKAGE.minisig) included\n"
                          "  keys            list the public keys, where each was found and whether it\n"
                          "                  counts\n"
                          "  catalogue FOLDER [--channel C] [--notes-from DIR] [--expires DATE]\n"
                          "                  write the index of the packages in FOLDER, to be signed\n"
                          "  catalogue check FOLDER [--days N] [--key K.pub]\n"
                          "                  say what a client would refuse in FOLDER, before publishing\n"
                          "\n"
                          "Run 'velmora-ptz COMMAND --help' for the details of a command,\n"
                          "'velmora-ptz --version' for the version.\n"
                          "\n")
           + QLatin1String(exitStatuses);
}

QString packHelp()
{
    return QStringLiteral("Usage: velmora-ptz pack OUT --arch A --boot B --pack P --image HW:VERSION:FILE [--image ...]\n"
                          "Builds the package OUT from one image file per chip, in chip order.\n"
                          "\n"
                          "  --arch A        ARCH code of the chips, hexadecimal (0x4B35 or 4B35)\n"
                          "  --boot B        BOOT code, hexadecimal\n"
                          "  --pack P        PACK number, decimal 0 to 65535\n"
                          "  --format F      format byte, decimal 0 to 255 (default 1)\n"
                          "  --image HW:VERSION:FILE\n"
                          "                  one image: the chip's hardware code in hexadecimal, the\n"
                          "                  firmware version with at most two decimals (1.05, up to\n"
                          "                  655.35) and the file holding the image; repeat per chip\n"
                          "\n"
                          "Images are padded with 0xFF to a multiple of 16 bytes. OUT is replaced only\n"
                          "once the whole package has been written.\n"
                          "\n")
           + QLatin1String(exitStatuses);
}

QString infoHelp()
{
    return QStringLiteral("Usage: velmora-ptz info PACKAGE\n"
                          "Shows the header and the images of PACKAGE, and whether each image's record\n"
                          "CRC matches its data (the package check does not cover that). Exits 0 for\n"
                          "any package that reads, mismatches included; use verify to gate on them.\n"
                          "\n")
           + QLatin1String(exitStatuses);
}

QString verifyHelp()
{
    return QStringLiteral("Usage: velmora-ptz verify PACKAGE [--key K.pub]\n"
                          "Exits 0 only when PACKAGE is a valid package (flag, size, package CRC and\n"
                          "records), every image's record CRC matches its data, and a signature beside\n"
                          "it (PACKAGE.minisig, minisign's format) holds for a trusted key; it then says\n"
                          "who signed it (key id and trusted comment), or that it is not signed.\n"
                          "Trusted keys are the *.pub files in /etc/velmora/trusted-keys and\n"
                          "~/.config/Velmora/trusted-keys ($XDG_CONFIG_HOME/Velmora/trusted-keys);\n"
                          "while /etc/velmora/require-signed exists, those of the system's folder alone.\n"
                          "--key K.pub trusts that key alone, whatever the machine requires.\n"
                          "\n")
           + QLatin1String(exitStatuses);
}

QString keysHelp()
{
    return QStringLiteral("Usage: velmora-ptz keys\n"
                          "Lists the public keys (key id, file) of /etc/velmora/trusted-keys and\n"
                          "~/.config/Velmora/trusted-keys ($XDG_CONFIG_HOME/Velmora/trusted-keys), each\n"
                          "folder first with whether its keys count: while /etc/velmora/require-signed\n"
                          "exists, only the system's do.\n"
                          "\n")
           + QLatin1String(exitStatuses);
}

QString exitStatusText()
{
    return QLatin1String(exitStatuses);
}

int fail(int status, const QString &message)
{
    std::fprintf(stderr, "velmora-ptz: %s\n", message.toUtf8().constData());
    return status;
}

} // namespace PtzCommands
