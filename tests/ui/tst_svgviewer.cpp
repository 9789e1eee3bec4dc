// The picture widget: fitting geometry, transparency around the picture, repaint on load.
#include "SvgViewer.h"

#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// An opaque red picture that covers its whole view box.
QString writeSolidPicture(const QTemporaryDir &dir, int width, int height)
{
    const QString path = dir.filePath(QStringLiteral("solid-%1x%2.svg").arg(width).arg(height));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 %1 %2\">"
                              "<rect x=\"0\" y=\"0\" width=\"%1\" height=\"%2\" fill=\"#ff0000\"/></svg>")
                   .arg(width)
                   .arg(height)
                   .toUtf8());
    return path;
}

// What the widget draws, on a transparent image and without any background of its own.
QImage drawn(SvgViewer &viewer)
{
    QImage image(viewer.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    viewer.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The bounding rectangle of the pixels that are not fully transparent.
QRect opaqueArea(const QImage &image)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 0)
                area |= QRect(x, y, 1, 1);
    return area;
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class SvgViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void fitsAndCentresThePicture_data()
    {
        QTest::addColumn<QSize>("widget");
        QTest::addColumn<QSize>("viewBox");
        QTest::addColumn<QRect>("shown");
        QTest::newRow("taller widget fills the width") << QSize(300, 300) << QSize(400, 200) << QRect(0, 75, 300, 150);
        QTest::newRow("wider widget fills the height") << QSize(600, 200) << QSize(400, 200) << QRect(100, 0, 400, 200);
        // Exactly proportional: the height branch decides, and here rounding tells the branches apart.
        QTest::newRow("tie takes the height") << QSize(113, 113) << QSize(41, 41) << QRect(0, 0, 112, 113);
    }

    void fitsAndCentresThePicture()
    {
        QFETCH(QSize, widget);
        QFETCH(QSize, viewBox);
        QFETCH(QRect, shown);
        QCOMPARE(SvgViewer::fittedSize(widget, viewBox), shown.size());

        QTemporaryDir dir;
        SvgViewer viewer;
        viewer.resize(widget);
        QVERIFY(viewer.load(writeSolidPicture(dir, viewBox.width(), viewBox.height())));
        const QImage image = drawn(viewer);
        // Everything outside the picture stays transparent, so the group box shows through.
        QCOMPARE(opaqueArea(image), shown);
        QCOMPARE(image.pixel(shown.center()), qRgb(255, 0, 0));
    }

    void loadRepaintsBeforeReturning()
    {
        QTemporaryDir dir;
        SvgViewer viewer;
        viewer.resize(200, 100);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        PaintCounter counter;
        viewer.installEventFilter(&counter);
        QVERIFY(viewer.load(writeSolidPicture(dir, 20, 10)));
        QCOMPARE(counter.paints, 1);
    }

    void invalidPictureDrawsNothing()
    {
        QTemporaryDir dir;
        SvgViewer viewer;
        viewer.resize(120, 80);
        QVERIFY(viewer.load(writeSolidPicture(dir, 40, 40)));
        QVERIFY(!opaqueArea(drawn(viewer)).isEmpty());

        QVERIFY(!viewer.load(QStringLiteral(":/no/such/picture.svg")));
        QVERIFY(opaqueArea(drawn(viewer)).isEmpty());

        const QString garbage = dir.filePath(QStringLiteral("garbage.svg"));
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<svg this is not xml");
        file.close();
        QVERIFY(!viewer.load(garbage));
        QVERIFY(opaqueArea(drawn(viewer)).isEmpty());
    }

    void nextPictureLeavesNothingOfThePrevious()
    {
        QTemporaryDir dir;
        SvgViewer viewer;
        viewer.resize(300, 300);
        QVERIFY(viewer.load(writeSolidPicture(dir, 400, 200)));
        QCOMPARE(opaqueArea(drawn(viewer)), QRect(0, 75, 300, 150));

        // Same view box, so the image memory is reused: only the left half may be drawn now.
        const QString half = dir.filePath(QStringLiteral("half.svg"));
        QFile file(half);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 400 200\">"
                   "<rect x=\"0\" y=\"0\" width=\"200\" height=\"200\" fill=\"#00ff00\"/></svg>");
        file.close();
        QVERIFY(viewer.load(half));
        QCOMPARE(opaqueArea(drawn(viewer)), QRect(0, 75, 150, 150));
    }
};

QTEST_MAIN(SvgViewerTest)
#include "tst_svgviewer.moc"
