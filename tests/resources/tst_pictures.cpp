// The compiled-in pictures: every path loads as line art with its view box, and the pictures differ.
#include "ResourcePaths.h"

#include <QFile>
#include <QImage>
#include <QSet>
#include <QSvgRenderer>
#include <QTest>
#include <QXmlStreamReader>

namespace {

struct Picture {
    QString path;
    QRectF viewBox;
};

QList<Picture> allPictures()
{
    const QRectF standard(0, 0, 567, 408), wide(0, 0, 612, 440);
    QList<Picture> pictures;
    for (const QString &set : ResourcePaths::pictureSets()) {
        const bool isWide = set == QLatin1String("birch2") || set == QLatin1String("cedar")
                            || set == QLatin1String("ember2");
        for (int face = 1; face <= 6; ++face)
            pictures.append({ResourcePaths::stepPicture(set, face), isWide ? wide : standard});
    }
    pictures.append({ResourcePaths::connectPicture, QRectF(0, 0, 426.395, 307)});
    pictures.append({ResourcePaths::disconnectPicture, standard});
    pictures.append({ResourcePaths::successPicture, standard});
    pictures.append({ResourcePaths::failPicture, standard});
    return pictures;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class PicturesTest : public QObject
{
    Q_OBJECT

private slots:
    void everyPictureLoadsWithItsViewBox_data();
    void everyPictureLoadsWithItsViewBox();
    void picturesAreLightGreyLineArtOnly_data();
    void picturesAreLightGreyLineArtOnly();
    void stepPicturesDifferWithinAndAcrossSets();
    void applicationIconLoads();
    void applicationIconIsRenderedForTheIconTheme();
};

void PicturesTest::everyPictureLoadsWithItsViewBox_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QRectF>("viewBox");
    for (const Picture &p : allPictures())
        QTest::newRow(qPrintable(p.path)) << p.path << p.viewBox;
}

void PicturesTest::everyPictureLoadsWithItsViewBox()
{
    QFETCH(QString, path);
    QFETCH(QRectF, viewBox);
    // Linking the static resource library is enough: no Q_INIT_RESOURCE anywhere.
    QVERIFY2(QFile::exists(path), qPrintable(path));
    QSvgRenderer renderer(path);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.viewBoxF(), viewBox);
}

void PicturesTest::picturesAreLightGreyLineArtOnly_data()
{
    everyPictureLoadsWithItsViewBox_data();
}

void PicturesTest::picturesAreLightGreyLineArtOnly()
{
    QFETCH(QString, path);
    QXmlStreamReader xml(contents(path));
    int paths = 0;
    QString groupFill;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        QVERIFY2(name == u"svg" || name == u"g" || name == u"path",
                 qPrintable(QStringLiteral("unexpected <%1> in %2").arg(name.toString(), path)));
        const QXmlStreamAttributes a = xml.attributes();
        if (name == u"g")
            groupFill = a.value(QLatin1String("fill")).toString();
        if (name != u"path")
            continue;
        ++paths;
        QCOMPARE(a.value(QLatin1String("stroke")).toString().toUpper(), QStringLiteral("#DCDCDC"));
        const QString fill = a.hasAttribute(QLatin1String("fill")) ? a.value(QLatin1String("fill")).toString()
                                                                   : groupFill;
        if (fill != QLatin1String("none")) // a fill may only tint, never cover the background
            QVERIFY2(a.value(QLatin1String("fill-opacity")).toDouble() < 0.5, qPrintable(path));
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(paths > 0);
}

void PicturesTest::stepPicturesDifferWithinAndAcrossSets()
{
    QSet<QByteArray> seen;
    int count = 0;
    for (const QString &set : ResourcePaths::pictureSets())
        for (int face = 1; face <= 6; ++face) {
            const QByteArray data = contents(ResourcePaths::stepPicture(set, face));
            QVERIFY(!data.isEmpty());
            QVERIFY2(!seen.contains(data), qPrintable(ResourcePaths::stepPicture(set, face)));
            seen.insert(data);
            ++count;
        }
    QCOMPARE(count, 48);
    const QSet<QByteArray> status = {contents(ResourcePaths::connectPicture), contents(ResourcePaths::disconnectPicture),
                                     contents(ResourcePaths::successPicture), contents(ResourcePaths::failPicture)};
    QCOMPARE(status.size(), 4);
}

void PicturesTest::applicationIconLoads()
{
    QSvgRenderer renderer(ResourcePaths::appIcon);
    QVERIFY(renderer.isValid());
    QCOMPARE(renderer.viewBoxF().width(), renderer.viewBoxF().height());
}

void PicturesTest::applicationIconIsRenderedForTheIconTheme()
{
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QString file = QStringLiteral(VELMORA_ICON_DIR "/%1x%1/apps/velmora.png").arg(size);
        const QImage image(file);
        QVERIFY2(!image.isNull(), qPrintable(file));
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // rounded corners stay transparent
        QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) > 0);
    }
    QVERIFY(QFile::exists(QStringLiteral(VELMORA_ICON_DIR "/scalable/apps/velmora.svg")));
}

QTEST_MAIN(PicturesTest)
#include "tst_pictures.moc"
