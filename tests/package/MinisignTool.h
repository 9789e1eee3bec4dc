// Debian's minisign for the tests: keys without a password, signatures in both algorithms.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>

namespace MinisignTool {

// Runs minisign with `arguments`; true when it succeeded.
inline bool run(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("minisign"), arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        qWarning().noquote() << "minisign" << arguments << process.readAll();
        return false;
    }
    return true;
}

// A key pair `name`.pub and `name`.key in `dir`.
inline bool makeKey(const QDir &dir, const QString &name)
{
    return run({QStringLiteral("-G"), QStringLiteral("-W"), QStringLiteral("-f"), QStringLiteral("-p"), dir.filePath(name + QStringLiteral(".pub")),
                QStringLiteral("-s"), dir.filePath(name + QStringLiteral(".key"))});
}

// Signs `file` into `file`.minisig (or `signature`) with key `name`: prehashed unless `legacy`.
inline bool sign(const QDir &dir, const QString &name, const QString &file, const QString &comment, bool legacy = false,
                 const QString &signature = QString())
{
    QStringList arguments{QStringLiteral("-S"), QStringLiteral("-s"), dir.filePath(name + QStringLiteral(".key")),
                          QStringLiteral("-m"), file, QStringLiteral("-t"), comment};
    if (legacy)
        arguments << QStringLiteral("-l");
    if (!signature.isEmpty())
        arguments << QStringLiteral("-x") << signature;
    return run(arguments);
}

} // namespace MinisignTool
