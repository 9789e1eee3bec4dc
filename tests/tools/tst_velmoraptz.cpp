// End-to-end tests of velmora-ptz: packages built and checked through the program itself.
#include "MinisignTool.h"
#include "PtzFile.h"
#include "crc16.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

struct Run
{
    int status = -1;
    QString out;
    QString err;
};

Run runPtz(const QStringList &arguments)
{
    QString dir = qEnvironmentVariable("VELMORA_BIN_DIR");
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    QProcess process;
    process.start(QDir(dir).filePath(QStringLiteral("velmora-ptz")), arguments);
    Run run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.status = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray patternBytes(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + seed * 7) ^ (i >> 3));
    return bytes;
}

void putLe16(QByteArray *bytes, qsizetype at, uint16_t value)
{
    (*bytes)[at] = char(value & 0xFF);
    (*bytes)[at + 1] = char(value >> 8);
}

uint16_t crcOf(const QByteArray &bytes, qsizetype length)
{
    return crc16(reinterpret_cast<const uint8_t *>(bytes.constData()), uint32_t(length));
}

} // namespace

class VelmoraPtzTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;

    QString path(const QString &name) const { return dir.filePath(name); }

    // A two-image package: 100 bytes (padded to 112) for 0x0101, 64 bytes for 0x0102.
    QString packTwoImages(const QString &name)
    {
        writeFile(path(QStringLiteral("a.bin")), patternBytes(100, 1));
        writeFile(path(QStringLiteral("b.bin")), patternBytes(64, 2));
        const Run run = runPtz({QStringLiteral("pack"), path(name), QStringLiteral("--arch"), QStringLiteral("0x4B35"),
                                QStringLiteral("--boot"), QStringLiteral("1A2B"), QStringLiteral("--pack"), QStringLiteral("12"),
                                QStringLiteral("--image"), QStringLiteral("0101:1.05:") + path(QStringLiteral("a.bin")),
                                QStringLiteral("--image"), QStringLiteral("0x0102:2.5:") + path(QStringLiteral("b.bin"))});
        return run.status == 0 ? path(name) : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QCOMPARE(::mkfifo(QFile::encodeName(path(QStringLiteral("pipe.ptz"))).constData(), 0600), 0);
        QVERIFY(QFile::link(path(QStringLiteral("pipe.ptz")), path(QStringLiteral("pipe-link.ptz"))));
        // Sparse: five GiB that take no disk space.
        QFile huge(path(QStringLiteral("huge.ptz")));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(5LL << 30));
        // Trusted keys of this test only, for the velmora-ptz it runs.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path(QStringLiteral("config"))));
        qputenv("VELMORA_SYSTEM_CONFIG_DIR", QFile::encodeName(path(QStringLiteral("etc"))));
    }

    void verifySaysWhoSignedAndRefusesABadSignature()
    {
        const QString package = packTwoImages(QStringLiteral("signed.ptz"));
        const QDir keys(dir.path());
        QVERIFY(MinisignTool::makeKey(keys, QStringLiteral("maker")));
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("maker"), package, QStringLiteral("line 3 firmware, approved")));
        const QString keyFile = keys.filePath(QStringLiteral("maker.pub"));
        const QString keyId = QString::fromLatin1(readFile(keyFile).split('\n').first().split(' ').last());

        // Not trusted yet: refused, unless the key is given.
        Run run = runPtz({QStringLiteral("verify"), package});
        QCOMPARE(run.status, 4);
        QVERIFY2(run.err.contains(QLatin1String("signature-untrusted-key")), qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("trusted keys go in %1 or %2")
                                      .arg(path(QStringLiteral("etc/trusted-keys")), path(QStringLiteral("config/Velmora/trusted-keys")))),
                 qPrintable(run.err));
        run = runPtz({QStringLiteral("verify"), package, QStringLiteral("--key"), keyFile});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("signed by key %1: line 3 firmware, approved").arg(keyId)), qPrintable(run.out));

        // Trusted from the user's folder, and listed with where it was found.
        const QString folder = path(QStringLiteral("config/Velmora/trusted-keys"));
        QVERIFY(QDir().mkpath(folder) && QFile::copy(keyFile, folder + QStringLiteral("/maker.pub")));
        // A file there that is not a key is named, and trusts nobody.
        QVERIFY(writeFile(folder + QStringLiteral("/broken.pub"), "not a key\n"));
        run = runPtz({QStringLiteral("verify"), package});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.err.contains(folder + QStringLiteral("/broken.pub: ")), qPrintable(run.err));
        QVERIFY(QFile::remove(folder + QStringLiteral("/broken.pub")));
        run = runPtz({QStringLiteral("keys")});
        QCOMPARE(run.status, 0);
        QVERIFY2(run.out.contains(QStringLiteral("%1  %2/maker.pub").arg(keyId, folder)), qPrintable(run.out));

        // The signer's words are signed too.
        const QString signature = package + QStringLiteral(".minisig");
        QByteArray text = readFile(signature);
        QVERIFY(writeFile(signature, text.replace("approved", "approved!")));
        run = runPtz({QStringLiteral("verify"), package});
        QCOMPARE(run.status, 4);
        QVERIFY(run.err.contains(QLatin1String("signature-invalid")));
        QVERIFY2(run.err.contains(signature + QStringLiteral(": ")), qPrintable(run.err));
        QVERIFY(QFile::remove(signature));
        run = runPtz({QStringLiteral("verify"), package});
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.contains(QLatin1String("not signed")));
    }

    // While the machine requires signatures a key in the user's folder signs nothing, and keys
    // says so beside the folder; the system's key still does.
    void keysSayWhichFoldersCount_data()
    {
        QTest::addColumn<bool>("required");
        QTest::addColumn<QString>("userFolder");
        QTest::addColumn<int>("userSigned");
        QTest::newRow("without the switch") << false << "counts" << 0;
        QTest::newRow("require-signed") << true << "not counted" << 4;
    }

    void keysSayWhichFoldersCount()
    {
        QFETCH(bool, required);
        QFETCH(QString, userFolder);
        QFETCH(int, userSigned);
        const QDir keys(path(QStringLiteral("folders")));
        QVERIFY(QDir().mkpath(keys.path()));
        const QString system = path(QStringLiteral("etc/trusted-keys")), user = path(QStringLiteral("config/Velmora/trusted-keys"));
        QVERIFY(QDir().mkpath(system) && QDir().mkpath(user));
        for (const QString &name : {QStringLiteral("own"), QStringLiteral("admin")}) {
            const QString folder = name == QLatin1String("own") ? user : system;
            if (!QFileInfo::exists(folder + QStringLiteral("/%1.pub").arg(name))) {
                QVERIFY(MinisignTool::makeKey(keys, name));
                QVERIFY(QFile::copy(keys.filePath(name + QStringLiteral(".pub")), folder + QStringLiteral("/%1.pub").arg(name)));
            }
        }
        const QString switchFile = path(QStringLiteral("etc/require-signed"));
        if (required)
            QVERIFY(writeFile(switchFile, QByteArray()));
        const auto restore = qScopeGuard([switchFile] { QFile::remove(switchFile); });

        const Run run = runPtz({QStringLiteral("keys")});
        QCOMPARE(run.status, 0);
        QMap<QString, QString> counts; // folder: whether its keys count
        QStringList keyFiles;
        for (const QString &line : run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (line.startsWith(QLatin1String("folder ")))
                counts.insert(line.mid(7).section(QStringLiteral(": "), 0, 0), line.mid(7).section(QStringLiteral(": "), 1, 1));
            else
                keyFiles << line.section(QStringLiteral("  "), 1);
        }
        QCOMPARE(counts.value(system), QStringLiteral("counts"));
        QCOMPARE(counts.value(user), userFolder);
        // Listed either way, so the user sees their key and why it signs nothing.
        QVERIFY2(keyFiles.contains(user + QStringLiteral("/own.pub")) && keyFiles.contains(system + QStringLiteral("/admin.pub")),
                 qPrintable(run.out));

        const QString package = packTwoImages(QStringLiteral("folders.ptz"));
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("own"), package, QStringLiteral("my build")));
        QCOMPARE(runPtz({QStringLiteral("verify"), package}).status, userSigned);
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("admin"), package, QStringLiteral("line build")));
        QCOMPARE(runPtz({QStringLiteral("verify"), package}).status, 0);
    }

    void packInfoVerifyRoundTrip()
    {
        const QString package = packTwoImages(QStringLiteral("round.ptz"));
        QVERIFY(!package.isEmpty());

        PtzFile file;
        QVERIFY(file.unpack(readFile(package)));
        const ptzHeader &header = file.header();
        QCOMPARE(header.arch, uint16_t(0x4B35));
        QCOMPARE(header.boot, uint16_t(0x1A2B));
        QCOMPARE(header.pack, uint16_t(12));
        QCOMPARE(header.count, uint16_t(2));
        QCOMPARE(header.images.size(), 2);
        QCOMPARE(header.images[0].hardware, uint16_t(0x0101));
        QCOMPARE(header.images[0].firmware, uint16_t(105));
        QCOMPARE(header.images[0].data, patternBytes(100, 1) + QByteArray(12, char(0xFF)));
        QCOMPARE(header.images[1].hardware, uint16_t(0x0102));
        QCOMPARE(header.images[1].firmware, uint16_t(250));
        QCOMPARE(header.images[1].data, patternBytes(64, 2));

        const Run info = runPtz({QStringLiteral("info"), package});
        QCOMPARE(info.status, 0);
        QVERIFY2(info.out.contains(QLatin1String("ARCH:     4B35")), qPrintable(info.out));
        QVERIFY(info.out.contains(QLatin1String("BOOT:     1A2B")));
        QVERIFY(info.out.contains(QLatin1String("PACK:     12")));
        QVERIFY(info.out.contains(QLatin1String("Image 1: hardware 0101, firmware 1.05, 112 data bytes")));
        QVERIFY(info.out.contains(QLatin1String("Image 2: hardware 0102, firmware 2.50, 64 data bytes")));
        QCOMPARE(info.out.count(QLatin1String("matches its data")), 2);

        const Run verify = runPtz({QStringLiteral("verify"), package});
        QCOMPARE(verify.status, 0);
        QVERIFY(verify.err.isEmpty());
    }

    // The package CRC still holds, so only the record check can catch the damage.
    void verifyRefusesRecordCrcThatDiffersFromItsData()
    {
        const QString package = packTwoImages(QStringLiteral("recordcrc.ptz"));
        QVERIFY(!package.isEmpty());
        QByteArray bytes = readFile(package);
        // Second record starts at 16 + (112 + 10); its CRC sits in its last two bytes.
        const qsizetype secondCrc = 16 + 122 + 8 + 64;
        putLe16(&bytes, secondCrc, uint16_t(crcOf(bytes.mid(16 + 122 + 8, 64), 64) ^ 0x0100));
        putLe16(&bytes, bytes.size() - 2, crcOf(bytes, bytes.size() - 2));
        const QString patched = path(QStringLiteral("patched.ptz"));
        QVERIFY(writeFile(patched, bytes));
        PtzFile file;
        QVERIFY(file.unpack(bytes));

        const Run verify = runPtz({QStringLiteral("verify"), patched});
        QCOMPARE(verify.status, 3);
        QVERIFY2(verify.err.contains(QLatin1String("image 2 (hardware 0102)")), qPrintable(verify.err));
        QVERIFY(!verify.err.contains(QLatin1String("image 1")));

        const Run info = runPtz({QStringLiteral("info"), patched});
        QCOMPARE(info.status, 0);
        QCOMPARE(info.out.count(QLatin1String("matches its data")), 1);
        QCOMPARE(info.out.count(QLatin1String("MISMATCH")), 1);
    }

    void invalidOrMissingFilesGiveStatusOne_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("verify missing") << QStringList{QStringLiteral("verify"), QStringLiteral("/nonexistent/x.ptz")}
                                        << QStringLiteral("no such file");
        QTest::newRow("info directory") << QStringList{QStringLiteral("info"), QStringLiteral("/")}
                                        << QStringLiteral("is a directory");
        // Refused at once: neither waited on like a file nor read into memory.
        QTest::newRow("verify pipe") << QStringList{QStringLiteral("verify"), path(QStringLiteral("pipe.ptz"))}
                                     << QStringLiteral("not a regular file");
        QTest::newRow("info link to a pipe") << QStringList{QStringLiteral("info"), path(QStringLiteral("pipe-link.ptz"))}
                                             << QStringLiteral("not a regular file");
        QTest::newRow("verify device") << QStringList{QStringLiteral("verify"), QStringLiteral("/dev/zero")}
                                       << QStringLiteral("not a regular file");
        QTest::newRow("info huge file") << QStringList{QStringLiteral("info"), path(QStringLiteral("huge.ptz"))}
                                        << QStringLiteral("larger than 64 MiB");
        QTest::newRow("verify huge file") << QStringList{QStringLiteral("verify"), path(QStringLiteral("huge.ptz"))}
                                          << QStringLiteral("larger than 64 MiB");
        QTest::newRow("pack device image")
            << QStringList{QStringLiteral("pack"), QStringLiteral("/tmp/never-written.ptz"), QStringLiteral("--arch"),
                           QStringLiteral("1"), QStringLiteral("--boot"), QStringLiteral("1"), QStringLiteral("--pack"),
                           QStringLiteral("1"), QStringLiteral("--image"), QStringLiteral("1:1.00:/dev/zero")}
            << QStringLiteral("cannot read image /dev/zero: not a regular file");
        QTest::newRow("pack into a pipe")
            << QStringList{QStringLiteral("pack"), path(QStringLiteral("pipe.ptz")), QStringLiteral("--arch"),
                           QStringLiteral("1"), QStringLiteral("--boot"), QStringLiteral("1"), QStringLiteral("--pack"),
                           QStringLiteral("1"), QStringLiteral("--image"), QStringLiteral("1:1.00:") + QStringLiteral(VELMORA_DEMO_PACKAGE)}
            << QStringLiteral("cannot write %1: not a regular file").arg(path(QStringLiteral("pipe.ptz")));
        QTest::newRow("pack missing image")
            << QStringList{QStringLiteral("pack"), QStringLiteral("/tmp/never-written.ptz"), QStringLiteral("--arch"),
                           QStringLiteral("1"), QStringLiteral("--boot"), QStringLiteral("1"), QStringLiteral("--pack"),
                           QStringLiteral("1"), QStringLiteral("--image"), QStringLiteral("1:1.00:/nonexistent/a.bin")}
            << QStringLiteral("cannot read image");
    }
    void invalidOrMissingFilesGiveStatusOne()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const Run run = runPtz(arguments);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/never-written.ptz")));
        QVERIFY(!QFileInfo(path(QStringLiteral("pipe.ptz"))).isFile()); // still the pipe
    }

    void damagedPackagesAreInvalid()
    {
        const QString package = packTwoImages(QStringLiteral("damaged.ptz"));
        QVERIFY(!package.isEmpty());
        const QByteArray good = readFile(package);
        QByteArray appended = good + '\0';
        QByteArray flipped = good;
        flipped[40] = char(flipped[40] ^ 0x10);
        const QList<QPair<QByteArray, QString>> cases = {
            {appended, QStringLiteral("file size error")},
            {flipped, QStringLiteral("file check crc error")},
            {good.left(10), QString()},
            {QByteArray(), QString()},
        };
        for (const auto &c : cases) {
            const QString damaged = path(QStringLiteral("bad.ptz"));
            QVERIFY(writeFile(damaged, c.first));
            for (const QString &command : {QStringLiteral("verify"), QStringLiteral("info")}) {
                const Run run = runPtz({command, damaged});
                QCOMPARE(run.status, 1);
                QVERIFY2(run.err.contains(QLatin1String("is not a valid package: ") + c.second), qPrintable(run.err));
                QVERIFY(run.out.isEmpty());
            }
        }
    }

    // A maker's round: index with notes and an expiry, sign, check, index again. Each row spoils
    // one thing; the check says it (3) and the next index keeps what it was not told to change
    // or refuses with nothing written (1).
    void catalogueKeepsWhatItIsNotToldToChange_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("checkStatus");
        QTest::addColumn<int>("indexStatus");
        QTest::addColumn<QString>("message");
        QTest::newRow("sound") << "" << 0 << 0 << "nothing a client would refuse";
        QTest::newRow("unsigned package") << "unsigned" << 3 << 0 << "k.ptz (release 1.05): unsigned";
        QTest::newRow("changed package") << "changed" << 3 << 1 << "is not the package the index lists";
        QTest::newRow("package gone") << "gone" << 3 << 1 << "missing or unreadable";
        QTest::newRow("index expiring") << "expiring" << 3 << 0 << "within 14 days";
    }
    void catalogueKeepsWhatItIsNotToldToChange()
    {
        QFETCH(QString, fault);
        QFETCH(int, checkStatus);
        QFETCH(int, indexStatus);
        QFETCH(QString, message);
        QTemporaryDir round;
        const QDir keys(round.path());
        const QString pub = round.filePath(QStringLiteral("pub")), package = pub + QStringLiteral("/k.ptz");
        QVERIFY(QDir().mkpath(pub) && QFile::copy(QStringLiteral(VELMORA_DEMO_PACKAGE), package));
        QVERIFY(writeFile(round.filePath(QStringLiteral("1.05.en.txt")), "Steadier pan"));
        const QString expires = QDateTime::currentDateTimeUtc().addDays(fault == QLatin1String("expiring") ? 5 : 60).toString(Qt::ISODate);
        QCOMPARE(runPtz({QStringLiteral("catalogue"), pub, QStringLiteral("--notes-from"), round.path(), QStringLiteral("--expires"), expires}).status, 0);
        QVERIFY(MinisignTool::makeKey(keys, QStringLiteral("maker")));
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("maker"), package, QStringLiteral("k5 1.05")));
        QVERIFY(MinisignTool::sign(keys, QStringLiteral("maker"), pub + QStringLiteral("/catalogue.json"), QStringLiteral("catalogue")));
        const QByteArray signedIndex = readFile(pub + QStringLiteral("/catalogue.json"));
        if (fault == QLatin1String("unsigned"))
            QVERIFY(QFile::remove(package + QStringLiteral(".minisig")));
        if (fault == QLatin1String("changed"))
            QVERIFY(QFile::remove(package) && QFile::copy(packTwoImages(QStringLiteral("other.ptz")), package));
        if (fault == QLatin1String("gone"))
            QVERIFY(QFile::remove(package));

        const Run check = runPtz({QStringLiteral("catalogue"), QStringLiteral("check"), pub, QStringLiteral("--key"), keys.filePath(QStringLiteral("maker.pub"))});
        QCOMPARE(check.status, checkStatus);
        const Run index = runPtz({QStringLiteral("catalogue"), pub});
        QCOMPARE(index.status, indexStatus);
        QVERIFY2((check.out + index.err).contains(message), qPrintable(check.out + index.err));
        const QByteArray text = readFile(pub + QStringLiteral("/catalogue.json"));
        if (indexStatus != 0) {
            QCOMPARE(text, signedIndex);
            return;
        }
        QVERIFY(text.contains("\"sequence\": 2\n") && text.contains("Steadier pan") && text.contains(expires.toLatin1()));
    }

    void badArgumentsGiveStatusTwoAndOneLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        const QString out = QStringLiteral("/tmp/velmora-ptz-never.ptz");
        const QStringList base = {QStringLiteral("pack"), out, QStringLiteral("--arch"), QStringLiteral("4B35"),
                                  QStringLiteral("--boot"), QStringLiteral("1"), QStringLiteral("--pack"), QStringLiteral("1")};
        const QString image = QStringLiteral("--image");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("unpack")};
        QTest::newRow("verify two files") << QStringList{QStringLiteral("verify"), out, out};
        QTest::newRow("info no file") << QStringList{QStringLiteral("info")};
        QTest::newRow("info unknown option") << QStringList{QStringLiteral("info"), QStringLiteral("--all"), out};
        QTest::newRow("pack no image") << base;
        QTest::newRow("pack no arch") << QStringList{QStringLiteral("pack"), out, QStringLiteral("--boot"), QStringLiteral("1"),
                                                     QStringLiteral("--pack"), QStringLiteral("1"), image,
                                                     QStringLiteral("1:1:/etc/hostname")};
        QTest::newRow("arch not hex") << QStringList(base).replaceInStrings(QStringLiteral("4B35"), QStringLiteral("4G35"))
                                             + QStringList{image, QStringLiteral("1:1:/etc/hostname")};
        QTest::newRow("arch over 16 bits") << QStringList(base).replaceInStrings(QStringLiteral("4B35"), QStringLiteral("0x10000"))
                                                  + QStringList{image, QStringLiteral("1:1:/etc/hostname")};
        QTest::newRow("pack not decimal") << QStringList{QStringLiteral("pack"), out, QStringLiteral("--arch"), QStringLiteral("1"),
                                                         QStringLiteral("--boot"), QStringLiteral("1"), QStringLiteral("--pack"),
                                                         QStringLiteral("65536"), image, QStringLiteral("1:1:/etc/hostname")};
        QTest::newRow("version over 16 bits") << base + QStringList{image, QStringLiteral("1:655.36:/etc/hostname")};
        QTest::newRow("version three decimals") << base + QStringList{image, QStringLiteral("1:1.055:/etc/hostname")};
        QTest::newRow("version negative") << base + QStringList{image, QStringLiteral("1:-1:/etc/hostname")};
        QTest::newRow("image without file") << base + QStringList{image, QStringLiteral("1:1.05")};
        QTest::newRow("option without value") << base + QStringList{image};
        QTest::newRow("arch twice") << base + QStringList{QStringLiteral("--arch"), QStringLiteral("1"), image,
                                                          QStringLiteral("1:1:/etc/hostname")};
        QTest::newRow("unknown option") << base + QStringList{QStringLiteral("--force"), image, QStringLiteral("1:1:/etc/hostname")};
        QTest::newRow("catalogue expiring in the past") << QStringList{QStringLiteral("catalogue"), path(QStringLiteral("never")),
                                                                       QStringLiteral("--expires"), QStringLiteral("2020-01-01")};
    }
    void badArgumentsGiveStatusTwoAndOneLine()
    {
        QFETCH(QStringList, arguments);
        const Run run = runPtz(arguments);
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.startsWith(QLatin1String("velmora-ptz: ")), qPrintable(run.err));
        QCOMPARE(run.err.count(QLatin1Char('\n')), 1);
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/velmora-ptz-never.ptz")));
    }

    void everyCommandHasHelp()
    {
        for (const QStringList &arguments : {QStringList{QStringLiteral("--help")}, QStringList{QStringLiteral("pack"), QStringLiteral("--help")},
                                             QStringList{QStringLiteral("info"), QStringLiteral("-h")},
                                             QStringList{QStringLiteral("verify"), QStringLiteral("--help")},
                                             QStringList{QStringLiteral("keys"), QStringLiteral("--help")},
                                             QStringList{QStringLiteral("catalogue"), QStringLiteral("check"), QStringLiteral("--help")}}) {
            const Run run = runPtz(arguments);
            QCOMPARE(run.status, 0);
            QVERIFY(run.out.startsWith(QLatin1String("Usage: velmora-ptz")));
            QVERIFY(run.out.contains(QLatin1String("Exit status:")));
        }
    }

    // The package the firmware tab is tried with must fit the simulator's default chips.
    void demoPackageExistsAndMatchesTheDefaultSimulator()
    {
        const QString demo = QStringLiteral(VELMORA_DEMO_PACKAGE);
        QCOMPARE(runPtz({QStringLiteral("verify"), demo}).status, 0);
        PtzFile file;
        QVERIFY(file.unpack(readFile(demo)));
        const ptzHeader &header = file.header();
        QCOMPARE(header.arch, uint16_t(0x4B35));
        QCOMPARE(header.count, uint16_t(2));
        QCOMPARE(header.images[0].hardware, uint16_t(0x0101));
        QCOMPARE(header.images[1].hardware, uint16_t(0x0102));
        for (const ptzImage &image : header.images) {
            QCOMPARE(image.firmware, uint16_t(105));
            QVERIFY(image.data.size() > 16 * 1024);
            QVERIFY(image.data.size() <= 64 * 1024);
        }
        QVERIFY(header.images[0].data != header.images[1].data);
    }
};

QTEST_GUILESS_MAIN(VelmoraPtzTest)
#include "tst_velmoraptz.moc"
