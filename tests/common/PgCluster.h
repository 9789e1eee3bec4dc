// A throw-away PostgreSQL server for tests and benchmarks: initdb in a temporary folder, run as
// an unprivileged user, reached on a Unix socket in that folder, stopped and removed at the end.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QDebug>
#include <algorithm>
#include <pwd.h>
#include <unistd.h>

class PgCluster
{
public:
    static constexpr const char *Password = "journal-test-secret";

    PgCluster() { dir.setAutoRemove(true); }
    ~PgCluster() { stop(); }
    PgCluster(const PgCluster &) = delete;
    PgCluster &operator=(const PgCluster &) = delete;

    // The server's programs (Debian keeps them out of PATH).
    static QString bin(const QString &program)
    {
        const QDir lib(QStringLiteral("/usr/lib/postgresql"));
        QStringList versions = lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        std::sort(versions.begin(), versions.end(), [](const QString &a, const QString &b) { return a.toInt() > b.toInt(); });
        for (const QString &version : versions) {
            const QString path = lib.filePath(version + QStringLiteral("/bin/") + program);
            if (QFile::exists(path))
                return path;
        }
        return program;
    }

    // Makes the cluster, starts it, and creates the role "velmora" (password login) and its
    // database "velmora"; PGPASSFILE then points at a pass file with that password.
    bool start()
    {
        if (!dir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        port = 20000 + int(QRandomGenerator::global()->bounded(20000));
        // The server refuses to run as root; the folder belongs to whoever runs it.
        if (::geteuid() == 0) {
            const passwd *nobody = ::getpwnam("nobody");
            if (!nobody || ::chown(dir.path().toLocal8Bit().constData(), nobody->pw_uid, nobody->pw_gid) != 0)
                return fail(QStringLiteral("cannot hand the folder to nobody"));
            runAs = QStringLiteral("nobody");
        }
        if (!server(bin(QStringLiteral("initdb")), {QStringLiteral("-D"), dataDir(), QStringLiteral("-U"), QStringLiteral("admin"),
                                                    QStringLiteral("-A"), QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                                                    QStringLiteral("--no-sync")}))
            return false;
        // The journal's role logs in with a password; the test's own administration is trusted.
        QFile hba(dataDir() + QStringLiteral("/pg_hba.conf"));
        if (!hba.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(QStringLiteral("cannot write pg_hba.conf"));
        hba.write("local all velmora scram-sha-256\nlocal all all trust\n");
        hba.close();
        if (!startServer())
            return false;
        passFile = dir.path() + QStringLiteral("/pgpass");
        writePassFile(QString::fromLatin1(Password));
        return admin(QStringLiteral("CREATE ROLE velmora LOGIN PASSWORD '%1'").arg(QLatin1String(Password)))
               && admin(QStringLiteral("CREATE DATABASE velmora OWNER velmora"));
    }

    // Without autovacuum: a worker it starts on template1 would make a test's CREATE DATABASE
    // fail ("source database is being accessed by other users"); the tests vacuum nothing.
    bool startServer()
    {
        return server(bin(QStringLiteral("pg_ctl")),
                      {QStringLiteral("-D"), dataDir(), QStringLiteral("-l"), dir.path() + QStringLiteral("/server.log"),
                       QStringLiteral("-o"),
                       QStringLiteral("-k %1 -p %2 -c listen_addresses='' -c fsync=off -c autovacuum=off").arg(dir.path()).arg(port),
                       QStringLiteral("-w"), QStringLiteral("start")});
    }

    bool stopServer(const char *mode = "fast")
    {
        return server(bin(QStringLiteral("pg_ctl")), {QStringLiteral("-D"), dataDir(), QStringLiteral("-m"),
                                                      QString::fromLatin1(mode), QStringLiteral("-w"), QStringLiteral("stop")});
    }

    void stop()
    {
        if (running)
            stopServer("immediate");
        running = false;
    }

    // The journal's URI: role velmora, database velmora (or those named), this cluster's
    // socket. No password.
    QString uri(const QString &role = QStringLiteral("velmora"), const QString &database = QStringLiteral("velmora")) const
    {
        return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4").arg(role, database, dir.path()).arg(port);
    }

    void writePassFile(const QString &password) const
    {
        QFile file(passFile);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QStringLiteral("*:*:*:velmora:%1\n").arg(password).toUtf8());
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        qputenv("PGPASSFILE", passFile.toLocal8Bit());
    }

    // Runs `sql` in `database` as the administrator; false on failure. `output` gets what it printed.
    bool exec(const QString &sql, QString *output = nullptr, const QString &database = QStringLiteral("velmora")) const
    {
        QProcess psql;
        psql.start(bin(QStringLiteral("psql")), {QStringLiteral("-h"), dir.path(), QStringLiteral("-p"), QString::number(port),
                                                 QStringLiteral("-U"), QStringLiteral("admin"), QStringLiteral("-d"), database,
                                                 QStringLiteral("-XAtq"), QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"),
                                                 QStringLiteral("-c"), sql});
        if (!psql.waitForFinished(30000) || psql.exitCode() != 0) {
            qWarning().noquote() << "psql:" << sql << psql.readAllStandardError();
            return false;
        }
        if (output)
            *output = QString::fromUtf8(psql.readAllStandardOutput()).trimmed();
        return true;
    }

    // The single value `sql` yields, as an integer (-1 on failure).
    int count(const QString &sql, const QString &database = QStringLiteral("velmora")) const
    {
        QString out;
        bool ok = false;
        const int value = exec(sql, &out, database) ? out.toInt(&ok) : -1;
        return ok ? value : -1;
    }

    QString socketDir() const { return dir.path(); }
    QString error;

private:
    QString dataDir() const { return dir.path() + QStringLiteral("/data"); }

    bool admin(const QString &sql) { return exec(sql, nullptr, QStringLiteral("postgres")); }

    bool fail(const QString &why)
    {
        error = why;
        qWarning().noquote() << "PgCluster:" << why;
        return false;
    }

    bool server(const QString &program, QStringList arguments)
    {
        QProcess process;
        QString command = program;
        if (!runAs.isEmpty()) {
            arguments.prepend(program);
            arguments = QStringList{QStringLiteral("-u"), runAs, QStringLiteral("--")} + arguments;
            command = QStringLiteral("runuser");
        }
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(command, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return fail(QStringLiteral("%1 failed: %2").arg(program, QString::fromLocal8Bit(process.readAll())));
        if (program.endsWith(QLatin1String("pg_ctl")))
            running = arguments.contains(QStringLiteral("start"));
        return true;
    }

    QTemporaryDir dir;
    QString runAs;
    QString passFile;
    int port = 0;
    bool running = false;
};
