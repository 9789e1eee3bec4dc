// A maker's round and an owner's fetch as programs: velmora-ptz indexes a folder, minisign signs
// it, velmora-cli fetches from it; every refusal exits 3 (5 for a release that does not fit)
// with its reason in JSON, and hands out no path.
#include "CatalogueFixture.h"
#include "TestPackages.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class CatalogueCliTest : public QObject
{
    Q_OBJECT

    QTemporaryDir keys;
    QByteArray package;

    static QString program(const QString &name)
    {
        return QDir(qEnvironmentVariable("VELMORA_BIN_DIR", QCoreApplication::applicationDirPath())).filePath(name);
    }
    // Runs a program with HOME-like folders under `home`; returns the exit status, standard output in `out`.
    static int run(const QString &home, const QString &name, const QStringList &arguments, QByteArray *out = nullptr)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *key : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"})
            environment.insert(QLatin1String(key), home + QLatin1Char('/') + QLatin1String(key));
        environment.remove(QStringLiteral("VELMORA_CATALOGUE"));
        process.setProcessEnvironment(environment);
        process.start(program(name), arguments);
        if (!process.waitForFinished(20000))
            return -1;
        if (out)
            *out = process.readAllStandardOutput();
        return process.exitCode();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("maker")));
        QVERIFY(MinisignTool::makeKey(QDir(keys.path()), QStringLiteral("stranger")));
        QTemporaryDir scratch;
        QCOMPARE(writeTestPackage(scratch.filePath(QStringLiteral("k.ptz")), {3000, 1000}, 9).size(), 2);
        QFile file(scratch.filePath(QStringLiteral("k.ptz")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        package = file.readAll();
    }

    void fetchGivesOnlyTheListedPackage_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        const QStringList latest{QStringLiteral("fetch"), QStringLiteral("latest"), QStringLiteral("--hardware"), QStringLiteral("0101,0102")};
        QTest::newRow("sound") << "" << latest << 0 << "";
        QTest::newRow("pinned version") << "" << QStringList{QStringLiteral("fetch"), QStringLiteral("1.00"), QStringLiteral("--hardware"), QStringLiteral("0101,0102")} << 0 << "";
        QTest::newRow("kept, then offline") << "kept" << (latest + QStringList{QStringLiteral("--offline")}) << 0 << "";
        QTest::newRow("offline, nothing kept") << "" << (latest + QStringList{QStringLiteral("--offline")}) << 3 << "download-failed";
        QTest::newRow("index signed by a stranger") << "stranger" << latest << 3 << "catalogue-signature";
        QTest::newRow("index older than one seen") << "rollback" << latest << 3 << "catalogue-rollback";
        QTest::newRow("index expired") << "expired" << latest << 3 << "catalogue-expired";
        QTest::newRow("index expired, package kept") << "expired-kept" << latest << 0 << "";
        QTest::newRow("index expired, package kept, offline") << "expired-kept" << (latest + QStringList{QStringLiteral("--offline")}) << 0 << "";
        QTest::newRow("package changed after indexing") << "digest" << latest << 3 << "package-digest";
        QTest::newRow("chips of another gimbal") << "" << QStringList{QStringLiteral("fetch"), QStringLiteral("latest"), QStringLiteral("--hardware"), QStringLiteral("0101")} << 5 << "catalogue-no-match";
    }
    void fetchGivesOnlyTheListedPackage()
    {
        QFETCH(QString, fault);
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, reason);
        QTemporaryDir home;
        const QDir served(home.filePath(QStringLiteral("served")));
        QVERIFY(QDir().mkpath(served.path()));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("XDG_CONFIG_HOME/Velmora/trusted-keys"))));
        QVERIFY(QFile::copy(QDir(keys.path()).filePath(QStringLiteral("maker.pub")), home.filePath(QStringLiteral("XDG_CONFIG_HOME/Velmora/trusted-keys/maker.pub"))));
        QFile file(served.filePath(QStringLiteral("k5-1.00.ptz")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(package) == package.size());
        file.close();

        // The maker's round: index the folder, sign the index.
        QCOMPARE(run(home.path(), QStringLiteral("velmora-ptz"), {QStringLiteral("catalogue"), served.path()}), 0);
        if (fault.startsWith(QLatin1String("expired"))) { // the tool refuses a past expiry: the index is edited before signing
            QFile json(served.filePath(QStringLiteral("catalogue.json")));
            QVERIFY(json.open(QIODevice::ReadOnly));
            QJsonObject object = QJsonDocument::fromJson(json.readAll()).object();
            json.close();
            object.insert(QStringLiteral("expires"), QStringLiteral("2020-01-01T00:00:00Z"));
            QVERIFY(json.open(QIODevice::WriteOnly | QIODevice::Truncate) && json.write(QJsonDocument(object).toJson()) > 0);
            json.close();
        }
        QVERIFY(MinisignTool::sign(QDir(keys.path()), fault == QLatin1String("stranger") ? QStringLiteral("stranger") : QStringLiteral("maker"),
                                   served.filePath(QStringLiteral("catalogue.json")), QStringLiteral("catalogue")));
        if (fault == QLatin1String("digest")) {
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(200) && file.write("X") == 1);
            file.close();
        }
        if (fault == QLatin1String("rollback")) {
            QFile state(home.filePath(QStringLiteral("XDG_STATE_HOME/Velmora/catalogue-sequences.json")));
            QVERIFY(QDir().mkpath(QFileInfo(state).absolutePath()) && state.open(QIODevice::WriteOnly));
            state.write(QJsonDocument(QJsonObject{{QUrl::fromLocalFile(served.filePath(QStringLiteral("catalogue.json"))).toString(QUrl::FullyEncoded), 7}}).toJson());
        }
        const QStringList common{QStringLiteral("--catalogue"), served.path(), QStringLiteral("--json")};
        if (fault == QLatin1String("kept")) {
            QCOMPARE(run(home.path(), QStringLiteral("velmora-cli"), QStringList{QStringLiteral("catalogue")} + arguments.mid(0, 4) + common), 0);
            QVERIFY(QDir(served.path()).removeRecursively());
        }
        if (fault == QLatin1String("expired-kept")) {
            // The expired index is kept by a listing; the package was kept before it expired.
            QCOMPARE(run(home.path(), QStringLiteral("velmora-cli"), QStringList{QStringLiteral("catalogue"), QStringLiteral("list")} + common), 0);
            const QString cached = home.filePath(QStringLiteral("XDG_CACHE_HOME/Velmora/catalogue/packages/"));
            QVERIFY(QDir().mkpath(cached) && QFile::copy(file.fileName(), cached + QString::fromLatin1(QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex()) + QStringLiteral(".ptz")));
        }
        QByteArray out;
        QCOMPARE(run(home.path(), QStringLiteral("velmora-cli"), QStringList{QStringLiteral("catalogue")} + arguments + common, &out), status);
        const QJsonObject result = QJsonDocument::fromJson(out).object();
        QCOMPARE(result.value(QStringLiteral("reason")).toString(), reason);
        if (status == 0) {
            QFile kept(result.value(QStringLiteral("path")).toString());
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), package);
            QCOMPARE(result.value(QStringLiteral("version")).toString(), QStringLiteral("1.00"));
            QCOMPARE(result.value(QStringLiteral("offline")).toBool(), fault.endsWith(QLatin1String("kept")));
        } else {
            QVERIFY(!result.contains(QStringLiteral("path")));
            QVERIFY(QDir(home.filePath(QStringLiteral("XDG_CACHE_HOME/Velmora/catalogue/packages"))).isEmpty());
        }
    }
};

QTEST_MAIN(CatalogueCliTest)
#include "tst_catalogue_cli.moc"
