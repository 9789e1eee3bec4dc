// Loading package files: regular files are read whole; pipes, devices, directories and huge files
// are refused at once with their reason, without blocking and without reading them.
#include "PackageFileReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

Q_DECLARE_METATYPE(PackageFileReader::Outcome)

namespace {

using Outcome = PackageFileReader::Outcome;

constexpr qint64 FiveGiB = 5LL * 1024 * 1024 * 1024;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A file of `size` bytes that takes no disk space.
bool sparseFile(const QString &path, qint64 size)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.resize(size);
}

} // namespace

class PackageFileReaderTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString fifo;

    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    // Reads on another thread, so that a read that blocks fails the test instead of hanging it;
    // such a read is then freed by a writer that opens and closes the pipe at once.
    PackageFileReader::Result readWithin(const QString &file, qint64 limit = PackageFileReader::SizeLimit)
    {
        std::packaged_task<PackageFileReader::Result()> task([file, limit] { return PackageFileReader::read(file, limit); });
        std::future<PackageFileReader::Result> result = task.get_future();
        std::thread reader(std::move(task));
        const bool ended = result.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
        if (!ended) {
            const int writer = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
        }
        reader.join();
        if (!ended)
            qWarning("the read of %s did not end within 30 s", qPrintable(file));
        return ended ? result.get() : PackageFileReader::Result{};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        fifo = path("pipe.ptz");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    }

    void regularFilesAreReadWhole_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray content = QByteArray("PTZ\x01") + QByteArray(70000, 'x');
        QVERIFY(writeFile(path("plain.ptz"), content));
        QVERIFY(QFile::link(path("plain.ptz"), path("link.ptz")));
        QVERIFY(writeFile(path("empty.ptz"), QByteArray()));
        QTest::newRow("file") << path("plain.ptz") << content;
        QTest::newRow("symbolic link to a file") << path("link.ptz") << content;
        QTest::newRow("empty file") << path("empty.ptz") << QByteArray();
    }
    void regularFilesAreReadWhole()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        const PackageFileReader::Result result = readWithin(file);
        QCOMPARE(result.outcome, Outcome::Ok);
        QCOMPARE(result.bytes, bytes);
        QCOMPARE(result.size, bytes.size());
    }

    void otherPathsAreRefusedWithTheirReason_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Outcome>("outcome");
        QVERIFY(QFile::link(fifo, path("pipe-link.ptz")));
        QVERIFY(writeFile(path("a-file"), "x"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder.ptz")));
        QTest::newRow("missing") << path("absent.ptz") << Outcome::Missing;
        QTest::newRow("under a file") << path("a-file") + QStringLiteral("/x.ptz") << Outcome::Missing;
        QTest::newRow("empty path") << QString() << Outcome::Missing;
        QTest::newRow("directory") << path("folder.ptz") << Outcome::NotRegularFile;
        QTest::newRow("pipe without a writer") << fifo << Outcome::NotRegularFile;
        QTest::newRow("symbolic link to a pipe") << path("pipe-link.ptz") << Outcome::NotRegularFile;
        QTest::newRow("endless device") << QStringLiteral("/dev/zero") << Outcome::NotRegularFile;
        QTest::newRow("empty device") << QStringLiteral("/dev/null") << Outcome::NotRegularFile;
        // A regular file that nobody, not even root, can read from its start.
        QTest::newRow("unreadable") << QStringLiteral("/proc/self/mem") << Outcome::ReadError;
    }
    void otherPathsAreRefusedWithTheirReason()
    {
        QFETCH(QString, file);
        QFETCH(Outcome, outcome);
        const PackageFileReader::Result result = readWithin(file);
        QCOMPARE(result.outcome, outcome);
        QVERIFY(result.bytes.isEmpty());
    }

    void fileWithoutReadPermissionIsARefusal()
    {
        const QString file = path("private.ptz");
        QVERIFY(writeFile(file, "PTZ"));
        QVERIFY(QFile::setPermissions(file, QFileDevice::WriteOwner));
        if (QFile(file).open(QIODevice::ReadOnly))
            QSKIP("this user reads files whatever their permissions (root)");
        const PackageFileReader::Result result = readWithin(file);
        QCOMPARE(result.outcome, Outcome::ReadError);
        QCOMPARE(result.error, EACCES);
    }

    // Refused by the size the file system gives, before a byte is read.
    void fileLargerThanTheLimitIsRefusedUnread_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::newRow("one byte over the limit") << PackageFileReader::SizeLimit + 1;
        QTest::newRow("five GiB") << FiveGiB;
    }
    void fileLargerThanTheLimitIsRefusedUnread()
    {
        QFETCH(qint64, size);
        const QString file = path("huge.ptz");
        QVERIFY(sparseFile(file, size));
        const PackageFileReader::Result result = readWithin(file);
        QCOMPARE(result.outcome, Outcome::TooLarge);
        QCOMPARE(result.size, size); // the stated size: the file was not read to find it out
        QVERIFY(result.bytes.isEmpty());
        QVERIFY(PackageFileReader::sizeLimitText().contains(QLatin1String("64 MiB")));
    }

    void fileOfExactlyTheLimitIsRead()
    {
        const QString file = path("limit.ptz");
        QVERIFY(writeFile(file, QByteArray(4096, 'p')));
        QCOMPARE(readWithin(file, 4096).outcome, Outcome::Ok);
        QVERIFY(writeFile(file, QByteArray(4097, 'p')));
        QCOMPARE(readWithin(file, 4096).outcome, Outcome::TooLarge);
    }

    // Kernel files report a size of 0 yet hold bytes: reading goes on to the end, to the limit.
    void fileHoldingMoreThanItsStatedSizeIsStillLimited()
    {
        const QString maps = QStringLiteral("/proc/self/maps");
        QCOMPARE(QFileInfo(maps).size(), 0);
        const PackageFileReader::Result whole = readWithin(maps);
        QCOMPARE(whole.outcome, Outcome::Ok);
        QVERIFY(whole.bytes.size() > 64);
        const PackageFileReader::Result limited = readWithin(maps, 64);
        QCOMPARE(limited.outcome, Outcome::TooLarge);
        QVERIFY(limited.bytes.isEmpty());
    }
};

QTEST_GUILESS_MAIN(PackageFileReaderTest)
#include "tst_packagefilereader.moc"
