// velmora-artgen: writes the style sheet icons, the step and status pictures and the application icon.
#include "AppIcon.h"
#include "RasterRenderer.h"
#include "StatusPictures.h"
#include "StepPicture.h"
#include "StyleIcons.h"
#include "SvgWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdio>

namespace {

bool writeFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size()) {
        std::fprintf(stderr, "velmora-artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool writeImage(const QString &path, const QImage &image)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "velmora-artgen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The wider products have their own, larger view box.
QSizeF stepViewBox(const QString &set)
{
    static const QStringList wide = {QStringLiteral("birch2"), QStringLiteral("cedar"), QStringLiteral("ember2")};
    return wide.contains(set) ? QSizeF(612, 440) : QSizeF(567, 408);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-artgen <output-directory>\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    bool ok = true;

    for (const StyleIcons::Icon &icon : StyleIcons::all())
        ok &= writeImage(out + QStringLiteral("/qss_icons/rc/") + icon.name, icon.image);

    const QStringList sets = {QStringLiteral("2-axis"), QStringLiteral("3-axis"), QStringLiteral("birch"),
                              QStringLiteral("birch2"), QStringLiteral("cedar"),  QStringLiteral("ember"),
                              QStringLiteral("ember2"), QStringLiteral("phone")};
    for (const QString &set : sets)
        for (int face = 1; face <= 6; ++face)
            ok &= writeFile(QStringLiteral("%1/image/%2/%3.svg").arg(out, set).arg(face),
                            SvgWriter::toSvg(StepPicture::draw(set, face, stepViewBox(set))));

    ok &= writeFile(out + QStringLiteral("/image/connect.svg"), SvgWriter::toSvg(StatusPictures::connect()));
    ok &= writeFile(out + QStringLiteral("/image/disconnect.svg"), SvgWriter::toSvg(StatusPictures::disconnect()));
    ok &= writeFile(out + QStringLiteral("/image/success.svg"), SvgWriter::toSvg(StatusPictures::success()));
    ok &= writeFile(out + QStringLiteral("/image/fail.svg"), SvgWriter::toSvg(StatusPictures::fail()));

    // The icon is compiled in as SVG and also rendered for the desktop's hicolor icon theme.
    const Drawing icon = AppIcon::draw();
    const QByteArray iconSvg = SvgWriter::toSvg(icon);
    ok &= writeFile(out + QStringLiteral("/icons/velmora.svg"), iconSvg);
    ok &= writeFile(out + QStringLiteral("/hicolor/scalable/apps/velmora.svg"), iconSvg);
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        ok &= writeImage(QStringLiteral("%1/hicolor/%2x%2/apps/velmora.png").arg(out).arg(size),
                         RasterRenderer::render(icon, QSize(size, size)));
    return ok ? 0 : 1;
}
