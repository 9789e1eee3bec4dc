// velmora-svgpreview: renders SVG files over the dark window background to PNGs for a visual check.
#include <QColor>
#include <QFileInfo>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: velmora-svgpreview <width> <out-dir> <file.svg>...\n");
        return 2;
    }
    const int width = QByteArray(argv[1]).toInt();
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    int failures = 0;
    for (int i = 3; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        QSvgRenderer renderer(path);
        if (!renderer.isValid()) {
            std::fprintf(stderr, "cannot load %s\n", argv[i]);
            ++failures;
            continue;
        }
        const QSizeF box = renderer.viewBoxF().size();
        QImage image(width, int(width * box.height() / box.width()), QImage::Format_ARGB32);
        image.fill(QColor(0x30, 0x2F, 0x2F));
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QFileInfo info(path);
        const QString name = info.dir().dirName() + QLatin1Char('-') + info.completeBaseName() + QStringLiteral(".png");
        if (!image.save(outDir + QLatin1Char('/') + name))
            ++failures;
    }
    return failures ? 1 : 0;
}
