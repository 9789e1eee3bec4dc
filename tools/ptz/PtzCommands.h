// The sub-commands of velmora-ptz and the exit statuses they share.
#pragma once

#include <QList>
#include <QStringList>

struct MinisignKey;

namespace PtzCommands {

enum ExitStatus {
    Success = 0,
    FileError = 1,         // a file could not be read or written, or the package is invalid
    UsageError = 2,        // bad arguments
    RecordCrcMismatch = 3, // verify: an image's own CRC does not match its data
    CatalogueRefused = 3,  // catalogue check: a client would refuse something in the folder
    SignatureRefused = 4,  // verify: a signature that does not hold, or by a key not trusted
};

// Each takes the arguments after its own name and returns the exit status.
int pack(const QStringList &arguments);
int info(const QStringList &arguments);
int verify(const QStringList &arguments);
int keys(const QStringList &arguments);
int catalogue(const QStringList &arguments);
int catalogueCheck(const QStringList &arguments); // catalogue check FOLDER

// Help texts (printed on stdout by --help).
QString mainHelp();
QString packHelp();
QString infoHelp();
QString verifyHelp();
QString keysHelp();
QString catalogueHelp();
QString exitStatusText(); // the exit statuses every help text ends with

// The keys a check trusts: the one in `keyFile` when given (false, said, when it is not a key),
// else the trusted-key folders, saying any key file there that is not a key.
bool trustedKeys(const QString &keyFile, QList<MinisignKey> *trusted);

// "velmora-ptz: <message>" on stderr, one line; returns `status` for `return fail(...)`.
int fail(int status, const QString &message);

} // namespace PtzCommands
