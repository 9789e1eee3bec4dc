// The one door to a gimbal: a package is read once, validated and its signature checked, and
// whatever is refused carries no bytes; odd paths are refused at once, never waited on.
#include "CheckedPackage.h"
#include "MinisignTool.h"
#include "PackageFileReader.h"
#include "TestPackages.h"

#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

class CheckedPackageTest : public QObject
{
    Q_OBJECT

private slots:
    void onlyASoundPackageGetsThrough_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("requireSigned");
        QTest::addColumn<int>("refusal");
        using R = PackageCheck::Refusal;
        QTest::newRow("unsigned, not required") << "package" << false << int(R::None);
        QTest::newRow("unsigned, required") << "package" << true << int(R::Unsigned);
        QTest::newRow("missing") << "missing" << false << int(R::Missing);
        QTest::newRow("a folder") << "folder" << false << int(R::NotRegularFile);
        QTest::newRow("a FIFO") << "fifo" << false << int(R::NotRegularFile);
        QTest::newRow("a device") << "/dev/zero" << false << int(R::NotRegularFile);
        QTest::newRow("huge") << "huge" << false << int(R::TooLarge);
        QTest::newRow("not a package") << "junk" << false << int(R::Invalid);
        QTest::newRow("unreadable") << "unreadable" << false << int(R::ReadError);
    }
    void onlyASoundPackageGetsThrough()
    {
        QFETCH(QString, kind);
        QFETCH(bool, requireSigned);
        QFETCH(int, refusal);
        QTemporaryDir dir;
        QString path = dir.filePath(kind + QStringLiteral(".ptz"));
        if (kind == QLatin1String("package") || kind == QLatin1String("unreadable"))
            QCOMPARE(writeTestPackage(path, {3000, 1000}, 5).size(), 2);
        if (kind == QLatin1String("unreadable")) {
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
            if (::geteuid() == 0)
                QSKIP("root reads every file");
        }
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(path));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind.startsWith(QLatin1Char('/')))
            path = kind;
        if (kind == QLatin1String("huge") || kind == QLatin1String("junk")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            if (kind == QLatin1String("huge"))
                QVERIFY(file.resize(5LL << 30)); // sparse: no disk space
            else
                file.write("PTZ\x01 not really a package");
        }
        const PackageCheck package = CheckedPackage::open(path, requireSigned, {});
        QCOMPARE(int(package.refusal), refusal);
        QCOMPARE(package.accepted(), refusal == int(PackageCheck::Refusal::None));
        // Only what was accepted carries bytes, and those are the file as it was read.
        if (package.accepted()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(package.package->bytes(), file.readAll());
            QCOMPARE(package.package->header().images.size(), 2);
        } else {
            QVERIFY(!package.detail().isEmpty());
        }
    }

    // Bytes a caller already holds pass the same checks as a file read at the door: their own
    // signature and format, never the file at the path instead, and their size is the limit's.
    void heldBytesAreCheckedThemselves_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("refusal");
        using R = PackageCheck::Refusal;
        QTest::newRow("as signed") << "" << int(R::None);
        QTest::newRow("changed after the file was signed") << "flip" << int(R::SignatureInvalid);
        QTest::newRow("not a package, no signature") << "junk" << int(R::Invalid);
        QTest::newRow("over the size limit") << "huge" << int(R::TooLarge);
    }
    void heldBytesAreCheckedThemselves()
    {
        QFETCH(QString, change);
        QFETCH(int, refusal);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.ptz"));
        QCOMPARE(writeTestPackage(path, {3000, 1000}, 5).size(), 2);
        QList<MinisignKey> trusted;
        if (change != QLatin1String("junk")) {
            QVERIFY(MinisignTool::makeKey(QDir(dir.path()), QStringLiteral("maker")));
            QVERIFY(MinisignTool::sign(QDir(dir.path()), QStringLiteral("maker"), path, QStringLiteral("p")));
            MinisignKey key;
            QString why;
            QVERIFY2(TrustedKeys::loadFile(dir.filePath(QStringLiteral("maker.pub")), &key, &why), qPrintable(why));
            trusted.append(key);
        }
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray bytes = file.readAll();
        if (change == QLatin1String("flip"))
            bytes[40] = char(bytes[40] ^ 0x01);
        if (change == QLatin1String("junk"))
            bytes = "PTZ\x01 not really a package";
        if (change == QLatin1String("huge"))
            bytes.append(PackageFileReader::SizeLimit + 1 - bytes.size(), '\0');
        const PackageCheck package = CheckedPackage::check(path, HashedBytes::of(bytes), false, trusted);
        QCOMPARE(int(package.refusal), refusal);
        if (package.accepted()) {
            QCOMPARE(package.package->bytes(), bytes);
            QCOMPARE(package.package->sha256(), package.sha256);
        }
        if (package.wasRead()) {
            QCOMPARE(package.size, bytes.size());
            QCOMPARE(package.sha256, QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        }
    }
};

QTEST_MAIN(CheckedPackageTest)
#include "tst_checked_package.moc"
