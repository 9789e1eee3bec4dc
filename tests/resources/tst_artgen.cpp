// The picture generator's geometry: resting poses, hidden-line removal and SVG output.
#include "Drawing.h"
#include "LineArtProjector.h"
#include "Mesh.h"
#include "StepPicture.h"
#include "SvgWriter.h"

#include <QTest>

namespace {

const QVector3D threeQuarterView(0.55f, 0.3f, 0.78f);

QMatrix4x4 at(const QVector3D &p)
{
    QMatrix4x4 m;
    m.translate(p);
    return m;
}

double totalLength(const std::vector<LineArtProjector::Line> &lines)
{
    double sum = 0;
    for (const auto &l : lines)
        sum += l.line.length();
    return sum;
}

} // namespace

class ArtGeneratorTest : public QObject
{
    Q_OBJECT

private slots:
    void restingPosePutsEachFacesAxisUp();
    void cubeShowsNineEdgesOfWhichSixOutline();
    void solidBehindALargerOneIsHidden();
    void edgePassingBehindASolidIsCut();
    void cylinderShowsItsSilhouetteNotItsFacets();
    void svgKeepsFractionalViewBoxAndCurves();
};

void ArtGeneratorTest::restingPosePutsEachFacesAxisUp()
{
    // Face n reads +1 g along +X, -X, +Y, -Y, +Z, -Z of the device: that axis points up (world +Y).
    const QVector3D reading[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (int face = 1; face <= 6; ++face) {
        const QMatrix4x4 pose = StepPicture::restingPose(face);
        const QVector3D up = pose.map(reading[face - 1]);
        QVERIFY2(qFuzzyCompare(up + QVector3D(1, 1, 1), QVector3D(1, 2, 1)), qPrintable(QString::number(face)));
        QVERIFY2(qFuzzyCompare(float(pose.determinant()), 1.0f), "a rotation, not a mirror image");
    }
}

void ArtGeneratorTest::cubeShowsNineEdgesOfWhichSixOutline()
{
    Mesh cube;
    cube.addBox(QMatrix4x4(), QVector3D(10, 10, 10));
    const auto lines = LineArtProjector(threeQuarterView).project(cube);
    QCOMPARE(int(lines.size()), 9);
    QCOMPARE(int(std::count_if(lines.begin(), lines.end(), [](const auto &l) { return l.outline; })), 6);
}

void ArtGeneratorTest::solidBehindALargerOneIsHidden()
{
    Mesh scene;
    scene.addBox(QMatrix4x4(), QVector3D(40, 40, 40));
    scene.addBox(at(-threeQuarterView.normalized() * 40), QVector3D(8, 8, 8)); // straight behind
    Mesh alone;
    alone.addBox(QMatrix4x4(), QVector3D(40, 40, 40));
    const LineArtProjector projector(threeQuarterView);
    QCOMPARE(projector.project(scene).size(), projector.project(alone).size());
    QCOMPARE(totalLength(projector.project(scene)), totalLength(projector.project(alone)));
}

void ArtGeneratorTest::edgePassingBehindASolidIsCut()
{
    const LineArtProjector projector(QVector3D(0, 0, 1)); // looking along -Z
    Mesh beam;
    beam.addBox(QMatrix4x4(), QVector3D(100, 4, 4));
    Mesh scene = beam;
    scene.addBox(at(QVector3D(0, 0, 20)), QVector3D(20, 20, 20)); // in front of the beam's middle
    const double full = totalLength(projector.project(beam));
    const double cut = totalLength(projector.project(scene)) - 4 * 20; // minus the front box's square
    // Two long edges of 100 lose the 20 covered by the box each.
    QVERIFY2(std::abs((full - cut) - 2 * 20) < 1.0, qPrintable(QStringLiteral("%1 vs %2").arg(full).arg(cut)));
}

void ArtGeneratorTest::cylinderShowsItsSilhouetteNotItsFacets()
{
    Mesh cylinder;
    cylinder.addCylinder(Mesh::along(QVector3D(), QVector3D(0, 1, 0)), 10, 10, 50, 32);
    const auto lines = LineArtProjector(QVector3D(0, 0.3f, 1)).project(cylinder);
    int alongAxis = 0;
    for (const auto &l : lines)
        if (l.line.length() > 30)
            ++alongAxis;
    QCOMPARE(alongAxis, 2); // the two silhouette lines, none of the 30 facet edges between them
}

void ArtGeneratorTest::svgKeepsFractionalViewBoxAndCurves()
{
    Drawing drawing(QRectF(0, 0, 426.395, 307));
    QPainterPath path;
    path.moveTo(1, 2);
    path.cubicTo(3, 4, 5, 6, 7.125, 8);
    drawing.addLine(path, Qt::white, 2);
    const QByteArray svg = SvgWriter::toSvg(drawing);
    QVERIFY(svg.contains("viewBox=\"0 0 426.395 307\""));
    QCOMPARE(SvgWriter::pathData(path), QByteArray("M1 2 C3 4 5 6 7.13 8"));
    QVERIFY(!svg.contains("<text") && !svg.contains("<image"));
}

QTEST_GUILESS_MAIN(ArtGeneratorTest)
#include "tst_artgen.moc"
