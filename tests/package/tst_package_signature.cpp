// Signatures made by Debian's minisign, checked by Velmora: both algorithms hold, and every kind
// of damage, substitution or stray file is refused without ever blocking.
#include "MinisignTool.h"
#include "PackageSignature.h"

#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

} // namespace

class PackageSignatureTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QDir keys;
    MinisignKey trusted;
    QByteArray package;

private slots:
    void initTestCase()
    {
        keys = QDir(dir.path());
        QVERIFY(MinisignTool::makeKey(keys, QStringLiteral("maker")));
        QVERIFY(MinisignTool::makeKey(keys, QStringLiteral("stranger")));
        QString why;
        QVERIFY2(TrustedKeys::loadFile(keys.filePath(QStringLiteral("maker.pub")), &trusted, &why), qPrintable(why));
        // The key id as minisign itself names it in the key's comment.
        QVERIFY(readAll(keys.filePath(QStringLiteral("maker.pub"))).contains(trusted.idText().toLatin1()));
        // One key in sixteen has a leading zero digit, which minisign leaves out.
        QCOMPARE(MinisignKey::idText(QByteArray::fromHex("3f22ae12d75b7a08")), QStringLiteral("87A5BD712AE223F"));
        QCOMPARE(MinisignKey::idText(QByteArray(8, '\0')), QStringLiteral("0"));
        // Any bytes do: the signature does not look inside the package. Header, images, CRCs.
        for (int i = 0; i < 70000; ++i)
            package.append(char((i * 131) ^ (i >> 7)));
    }

    void signaturesAreCheckedOnTheBytesRead_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("state");
        const int valid = int(SignatureCheck::State::Valid), invalid = int(SignatureCheck::State::Invalid);
        QTest::newRow("prehashed") << "prehashed" << valid;
        QTest::newRow("legacy") << "legacy" << valid;
        QTest::newRow("no signature") << "unsigned" << int(SignatureCheck::State::Unsigned);
        QTest::newRow("header byte changed after signing") << "change:0" << invalid;
        QTest::newRow("image byte changed after signing") << "change:40000" << invalid;
        QTest::newRow("last CRC byte changed after signing") << "change:-1" << invalid;
        QTest::newRow("legacy, image byte changed") << "legacy-change:40000" << invalid;
        QTest::newRow("signature of another package") << "other" << invalid;
        QTest::newRow("key not trusted") << "stranger" << int(SignatureCheck::State::UntrustedKey);
        QTest::newRow("another key with the trusted key's id") << "same-id" << invalid;
        QTest::newRow("trusted comment edited") << "comment" << invalid;
        QTest::newRow("base64 damaged") << "base64" << invalid;
        QTest::newRow("truncated") << "truncated" << invalid;
        QTest::newRow("empty") << "empty" << invalid;
        QTest::newRow("huge") << "huge" << invalid;
        QTest::newRow("a FIFO") << "fifo" << invalid;
        QTest::newRow("a folder") << "folder" << invalid;
    }

    void signaturesAreCheckedOnTheBytesRead()
    {
        QFETCH(QString, kind);
        QFETCH(int, state);
        const QString path = dir.filePath(QStringLiteral("%1.ptz").arg(QString::number(qHash(kind))));
        const QString signature = path + QStringLiteral(".minisig");
        writeAll(path, package);
        QByteArray checked = package;
        const bool legacy = kind.startsWith(QLatin1String("legacy"));
        if (kind == QLatin1String("stranger"))
            QVERIFY(MinisignTool::sign(keys, QStringLiteral("stranger"), path, QStringLiteral("from elsewhere")));
        else if (kind != QLatin1String("unsigned") && kind != QLatin1String("fifo") && kind != QLatin1String("folder"))
            QVERIFY(MinisignTool::sign(keys, QStringLiteral("maker"), path, QStringLiteral("K5 firmware 1.05"), legacy));
        if (kind.contains(QLatin1String("change:"))) {
            const int at = kind.section(QLatin1Char(':'), 1).toInt();
            checked[at < 0 ? checked.size() + at : at] = char(checked[at < 0 ? checked.size() + at : at] ^ 0x01);
        } else if (kind == QLatin1String("other")) {
            checked.append('\0');
        } else if (kind == QLatin1String("same-id")) {
            // The stranger's signature, relabelled with the trusted key's id.
            QVERIFY(MinisignTool::sign(keys, QStringLiteral("stranger"), path, QStringLiteral("K5 firmware 1.05"), false,
                                       signature + QStringLiteral(".stranger")));
            QList<QByteArray> rows = readAll(signature + QStringLiteral(".stranger")).split('\n');
            QByteArray head = QByteArray::fromBase64(rows[1]);
            head.replace(2, 8, trusted.keyId);
            rows[1] = head.toBase64();
            writeAll(signature, rows.join('\n'));
        } else if (kind == QLatin1String("comment")) {
            QByteArray text = readAll(signature);
            writeAll(signature, text.replace("K5 firmware 1.05", "K5 firmware 1.06"));
        } else if (kind == QLatin1String("base64")) {
            QList<QByteArray> rows = readAll(signature).split('\n');
            rows[1][40] = '*';
            writeAll(signature, rows.join('\n'));
        } else if (kind == QLatin1String("truncated")) {
            const QByteArray text = readAll(signature);
            writeAll(signature, text.left(text.size() / 2));
        } else if (kind == QLatin1String("empty")) {
            writeAll(signature, QByteArray());
        } else if (kind == QLatin1String("huge")) {
            writeAll(signature, readAll(signature) + QByteArray(4 << 20, '\n'));
        } else if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(signature).constData(), 0600) == 0);
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(signature));
        }
        const SignatureCheck check = PackageSignature::check(checked, path, {trusted});
        QCOMPARE(int(check.state), state);
        if (check.state == SignatureCheck::State::Valid) {
            QCOMPARE(check.keyId, trusted.idText());
            QCOMPARE(check.trustedComment, QStringLiteral("K5 firmware 1.05"));
        }
        QCOMPARE(check.refuses(false), state == int(SignatureCheck::State::Invalid) || state == int(SignatureCheck::State::UntrustedKey));
        QCOMPARE(check.refuses(true), state != int(SignatureCheck::State::Valid));
    }

    void trustedKeysComeFromTheSystemAndTheUser()
    {
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        qputenv("VELMORA_SYSTEM_CONFIG_DIR", QFile::encodeName(home.filePath(QStringLiteral("etc"))));
        const auto restore = qScopeGuard([] {
            qunsetenv("XDG_CONFIG_HOME");
            qunsetenv("VELMORA_SYSTEM_CONFIG_DIR");
        });
        QVERIFY(TrustedKeys::load().isEmpty());
        QVERIFY(!TrustedKeys::requiredBySystem());
        const QStringList folders = TrustedKeys::folders();
        QCOMPARE(folders, QStringList({home.filePath(QStringLiteral("etc/trusted-keys")), home.filePath(QStringLiteral("config/Velmora/trusted-keys"))}));
        for (const QString &folder : folders)
            QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(keys.filePath(QStringLiteral("maker.pub")), folders[0] + QStringLiteral("/maker.pub")));
        QVERIFY(QFile::copy(keys.filePath(QStringLiteral("stranger.pub")), folders[1] + QStringLiteral("/stranger.pub")));
        writeAll(folders[1] + QStringLiteral("/broken.pub"), "untrusted comment: nothing\nRWQ!!!\n");
        QStringList problems;
        QList<MinisignKey> found = TrustedKeys::load(&problems);
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[0].keyId, trusted.keyId);
        QCOMPARE(found[0].source, folders[0] + QStringLiteral("/maker.pub"));
        QCOMPARE(problems.size(), 1);

        // Required by the system: the user's folder is not even read.
        writeAll(home.filePath(QStringLiteral("etc/require-signed")), QByteArray());
        QVERIFY(TrustedKeys::requiredBySystem());
        problems.clear();
        found = TrustedKeys::load(&problems);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found[0].source, folders[0] + QStringLiteral("/maker.pub"));
        QVERIFY(problems.isEmpty());
        QCOMPARE(TrustedKeys::folders(), folders.mid(0, 1));
        const QList<TrustedKeys::Folder> every = TrustedKeys::everyFolder();
        QCOMPARE(every.size(), 2);
        QCOMPARE(every[1].path, folders[1]);
        QVERIFY(every[0].counts && !every[1].counts);
    }

    // A user's own key must not get a package past a machine that requires signatures.
    void whileTheSystemRequiresSignaturesOnlyItsKeysCount_data()
    {
        QTest::addColumn<QString>("keyFolder");
        QTest::addColumn<bool>("required");
        QTest::addColumn<int>("state");
        const int valid = int(SignatureCheck::State::Valid);
        QTest::newRow("user's key") << "config/Velmora/trusted-keys" << false << valid;
        QTest::newRow("user's key, signatures required") << "config/Velmora/trusted-keys" << true
                                                         << int(SignatureCheck::State::UntrustedKey);
        QTest::newRow("system's key") << "etc/trusted-keys" << false << valid;
        QTest::newRow("system's key, signatures required") << "etc/trusted-keys" << true << valid;
    }

    void whileTheSystemRequiresSignaturesOnlyItsKeysCount()
    {
        QFETCH(QString, keyFolder);
        QFETCH(bool, required);
        QFETCH(int, state);
        QTemporaryDir home;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
        qputenv("VELMORA_SYSTEM_CONFIG_DIR", QFile::encodeName(home.filePath(QStringLiteral("etc"))));
        const auto restore = qScopeGuard([] {
            qunsetenv("XDG_CONFIG_HOME");
            qunsetenv("VELMORA_SYSTEM_CONFIG_DIR");
        });
        QVERIFY(QDir().mkpath(home.filePath(keyFolder)) && QDir().mkpath(home.filePath(QStringLiteral("etc"))));
        QVERIFY(QFile::copy(keys.filePath(QStringLiteral("maker.pub")), home.filePath(keyFolder + QStringLiteral("/maker.pub"))));
        if (required)
            writeAll(home.filePath(QStringLiteral("etc/require-signed")), QByteArray());
        const QString path = home.filePath(QStringLiteral("p.ptz"));
        writeAll(path, package);
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("maker"), path, QStringLiteral("K5 firmware 1.05")));
        const SignatureCheck check = PackageSignature::check(package, path, TrustedKeys::load());
        QCOMPARE(int(check.state), state);
        QCOMPARE(check.refuses(required), state != int(SignatureCheck::State::Valid));
    }
};

QTEST_GUILESS_MAIN(PackageSignatureTest)
#include "tst_package_signature.moc"
