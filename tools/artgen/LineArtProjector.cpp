// Projects a Mesh orthographically into hidden-line-free line art: visible outlines and creases only.
#include "LineArtProjector.h"

#include <QRectF>
#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Faces meeting at less than this angle are one smooth surface (a cylinder's facets): their shared
// edge is drawn only where it is part of the silhouette.
const double creaseCosine = std::cos(25.0 * M_PI / 180.0);

struct Occluder {
    std::vector<QPointF> polygon; // counter-clockwise in screen coordinates
    QRectF bounds;
    QVector3D normal;             // in (screen x, screen y, depth) space
    double offset = 0.0;          // plane: normal . (x, y, depth) = offset
};

bool strictlyInside(const Occluder &o, const QPointF &p, double margin)
{
    const size_t n = o.polygon.size();
    for (size_t i = 0; i < n; ++i) {
        const QPointF a = o.polygon[i];
        const QPointF b = o.polygon[(i + 1) % n];
        const QPointF edge = b - a;
        const double len = std::hypot(edge.x(), edge.y());
        if (len < 1e-9)
            continue;
        const double cross = edge.x() * (p.y() - a.y()) - edge.y() * (p.x() - a.x());
        if (cross / len < margin)
            return false;
    }
    return true;
}

// QRectF::united() ignores empty rectangles, so bounds of points are gathered by hand.
QRectF boundsOf(const std::vector<QPointF> &points)
{
    double left = 1e300, top = 1e300, right = -1e300, bottom = -1e300;
    for (const QPointF &p : points) {
        left = std::min(left, p.x());
        right = std::max(right, p.x());
        top = std::min(top, p.y());
        bottom = std::max(bottom, p.y());
    }
    return points.empty() ? QRectF() : QRectF(QPointF(left, top), QPointF(right, bottom));
}

} // namespace

LineArtProjector::LineArtProjector(const QVector3D &towardViewer)
    : toward(towardViewer.normalized())
{
    right = QVector3D::crossProduct(QVector3D(0, 1, 0), toward).normalized();
    up = QVector3D::crossProduct(toward, right).normalized();
}

QPointF LineArtProjector::projectPoint(const QVector3D &p) const
{
    return QPointF(QVector3D::dotProduct(p, right), -QVector3D::dotProduct(p, up));
}

std::vector<LineArtProjector::Line> LineArtProjector::project(const Mesh &mesh) const
{
    const auto &verts = mesh.vertices();
    const auto &faces = mesh.faces();
    std::vector<QVector3D> screen; // x, y (down), depth (larger is nearer)
    std::vector<QPointF> flat;
    screen.reserve(verts.size());
    for (const QVector3D &v : verts) {
        const QPointF p = projectPoint(v);
        screen.emplace_back(float(p.x()), float(p.y()), QVector3D::dotProduct(v, toward));
        flat.push_back(p);
    }
    const QRectF extent = boundsOf(flat);
    const double scale = std::max(1e-9, std::max(extent.width(), extent.height()));

    // Outward normals: every solid is convex, so a face points away from its solid's centre.
    std::vector<QVector3D> centre(size_t(mesh.solidCount()));
    std::vector<int> count(size_t(mesh.solidCount()), 0);
    for (const Mesh::Face &f : faces)
        for (int c : f.corners) {
            centre[size_t(f.solid)] += verts[size_t(c)];
            ++count[size_t(f.solid)];
        }
    for (size_t i = 0; i < centre.size(); ++i)
        centre[i] /= float(std::max(1, count[i]));

    std::vector<QVector3D> normal(faces.size());
    std::vector<bool> front(faces.size());
    std::vector<Occluder> occluders;
    for (size_t i = 0; i < faces.size(); ++i) {
        const auto &c = faces[i].corners;
        QVector3D n;
        for (size_t k = 0; k < c.size(); ++k) // Newell's method copes with any planar polygon
            n += QVector3D::crossProduct(verts[size_t(c[k])], verts[size_t(c[(k + 1) % c.size()])]);
        n.normalize();
        if (QVector3D::dotProduct(n, verts[size_t(c[0])] - centre[size_t(faces[i].solid)]) < 0)
            n = -n;
        normal[i] = n;
        front[i] = QVector3D::dotProduct(n, toward) > 1e-4f;
        if (!front[i])
            continue;
        // Only front faces can be the nearest surface over a point of a closed solid.
        Occluder o;
        for (int k : c)
            o.polygon.emplace_back(screen[size_t(k)].x(), screen[size_t(k)].y());
        double area = 0;
        for (size_t k = 0; k < o.polygon.size(); ++k) {
            const QPointF a = o.polygon[k], b = o.polygon[(k + 1) % o.polygon.size()];
            area += a.x() * b.y() - b.x() * a.y();
        }
        if (std::abs(area) < 1e-9 * scale * scale)
            continue;
        if (area < 0)
            std::reverse(o.polygon.begin(), o.polygon.end());
        o.bounds = boundsOf(o.polygon);
        const QVector3D a = screen[size_t(c[0])], b = screen[size_t(c[1])], d = screen[size_t(c[2])];
        o.normal = QVector3D::crossProduct(b - a, d - a);
        for (size_t k = 2; o.normal.lengthSquared() < 1e-12f && k + 1 < c.size(); ++k)
            o.normal = QVector3D::crossProduct(b - a, screen[size_t(c[k + 1])] - a);
        if (std::abs(o.normal.z()) < 1e-9f)
            continue;
        o.offset = QVector3D::dotProduct(o.normal, a);
        occluders.push_back(std::move(o));
    }

    std::map<std::pair<int, int>, std::vector<size_t>> edges;
    for (size_t i = 0; i < faces.size(); ++i) {
        const auto &c = faces[i].corners;
        for (size_t k = 0; k < c.size(); ++k) {
            const int a = c[k], b = c[(k + 1) % c.size()];
            edges[{std::min(a, b), std::max(a, b)}].push_back(i);
        }
    }

    const double margin = scale * 1e-4;
    const double depthSlack = scale * 1e-3;
    const double step = scale / 600.0;
    auto hidden = [&](const QVector3D &p) {
        const QPointF xy(p.x(), p.y());
        for (const Occluder &o : occluders) {
            if (xy.x() <= o.bounds.left() || xy.x() >= o.bounds.right() || xy.y() <= o.bounds.top()
                || xy.y() >= o.bounds.bottom())
                continue;
            if (!strictlyInside(o, xy, margin))
                continue;
            const double depth = (o.offset - o.normal.x() * xy.x() - o.normal.y() * xy.y()) / o.normal.z();
            if (depth > p.z() + depthSlack)
                return true;
        }
        return false;
    };

    std::vector<Line> lines;
    for (const auto &[key, adjacent] : edges) {
        bool outline = adjacent.size() != 2;
        if (adjacent.size() == 2) {
            const size_t f0 = adjacent[0], f1 = adjacent[1];
            const bool silhouette = front[f0] != front[f1];
            const bool crease = QVector3D::dotProduct(normal[f0], normal[f1]) < creaseCosine;
            if (!silhouette && !(crease && front[f0]))
                continue;
            outline = silhouette;
        }
        const QVector3D a = screen[size_t(key.first)], b = screen[size_t(key.second)];
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        const int samples = std::max(2, int(std::ceil(length / step)));
        std::vector<char> visible(size_t(samples) + 1, 0); // one sentinel past the end
        for (int i = 0; i < samples; ++i)
            visible[size_t(i)] = !hidden(a + (b - a) * ((i + 0.5f) / samples));
        // Sampling right at another solid's outline flickers: close one-sample gaps, drop one-sample specks.
        for (int i = 1; i + 1 < samples; ++i)
            if (!visible[size_t(i)] && visible[size_t(i - 1)] && visible[size_t(i + 1)])
                visible[size_t(i)] = 1;
        for (int i = 0; i < samples; ++i)
            if (visible[size_t(i)] && (i == 0 || !visible[size_t(i - 1)]) && !visible[size_t(i + 1)] && samples > 3)
                visible[size_t(i)] = 0;
        int runStart = -1;
        for (int i = 0; i <= samples; ++i) {
            if (visible[size_t(i)] && runStart < 0)
                runStart = i;
            if (!visible[size_t(i)] && runStart >= 0) {
                const QVector3D p = a + (b - a) * (float(runStart) / samples);
                const QVector3D q = a + (b - a) * (float(i) / samples);
                lines.push_back({QLineF(p.x(), p.y(), q.x(), q.y()), outline});
                runStart = -1;
            }
        }
    }
    return lines;
}
