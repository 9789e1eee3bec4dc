// A set of closed convex solids (boxes, prisms, cylinders) described by vertices and planar faces.
#include "Mesh.h"

#include <QQuaternion>
#include <QtMath>

void Mesh::addBox(const QMatrix4x4 &placement, const QVector3D &size)
{
    const QVector3D h = size / 2.0f;
    const int base = int(points.size());
    for (int i = 0; i < 8; ++i) {
        const QVector3D local((i & 1) ? h.x() : -h.x(), (i & 2) ? h.y() : -h.y(), (i & 4) ? h.z() : -h.z());
        points.push_back(placement.map(local));
    }
    const int quads[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    for (const auto &q : quads)
        polygons.push_back({{base + q[0], base + q[1], base + q[2], base + q[3]}, solids});
    ++solids;
}

void Mesh::addCylinder(const QMatrix4x4 &placement, double radius0, double radius1, double length, int segments,
                       double phase)
{
    const int base = int(points.size());
    for (int ring = 0; ring < 2; ++ring) {
        const double r = ring ? radius1 : radius0;
        for (int i = 0; i < segments; ++i) {
            const double a = phase + 2.0 * M_PI * i / segments;
            points.push_back(placement.map(QVector3D(float(r * std::cos(a)), float(r * std::sin(a)),
                                                     float(ring ? length : 0.0))));
        }
    }
    Face bottom{{}, solids};
    Face top{{}, solids};
    for (int i = 0; i < segments; ++i) {
        const int next = (i + 1) % segments;
        bottom.corners.push_back(base + segments - 1 - i);
        top.corners.push_back(base + segments + i);
        polygons.push_back({{base + i, base + next, base + segments + next, base + segments + i}, solids});
    }
    polygons.push_back(bottom);
    polygons.push_back(top);
    ++solids;
}

void Mesh::addBeam(const QVector3D &from, const QVector3D &to, double width, double height, const QVector3D &side)
{
    const QVector3D axis = to - from;
    const QVector3D x = side.normalized();
    const QVector3D z = axis.normalized();
    const QVector3D y = QVector3D::crossProduct(z, x).normalized();
    QMatrix4x4 m;
    m.setColumn(0, QVector4D(x, 0));
    m.setColumn(1, QVector4D(y, 0));
    m.setColumn(2, QVector4D(z, 0));
    m.setColumn(3, QVector4D((from + to) / 2.0f, 1));
    addBox(m, QVector3D(float(width), float(height), axis.length()));
}

void Mesh::append(const Mesh &other, const QMatrix4x4 &placement)
{
    const int base = int(points.size());
    for (const QVector3D &p : other.points)
        points.push_back(placement.map(p));
    for (Face f : other.polygons) {
        for (int &c : f.corners)
            c += base;
        f.solid += solids;
        polygons.push_back(f);
    }
    solids += other.solids;
}

void Mesh::transform(const QMatrix4x4 &matrix)
{
    for (QVector3D &p : points)
        p = matrix.map(p);
}

QVector3D Mesh::minimum() const
{
    QVector3D m(1e9f, 1e9f, 1e9f);
    for (const QVector3D &p : points)
        m = QVector3D(std::min(m.x(), p.x()), std::min(m.y(), p.y()), std::min(m.z(), p.z()));
    return m;
}

QVector3D Mesh::maximum() const
{
    QVector3D m(-1e9f, -1e9f, -1e9f);
    for (const QVector3D &p : points)
        m = QVector3D(std::max(m.x(), p.x()), std::max(m.y(), p.y()), std::max(m.z(), p.z()));
    return m;
}

QMatrix4x4 Mesh::along(const QVector3D &origin, const QVector3D &axis)
{
    QMatrix4x4 m;
    m.translate(origin);
    m.rotate(QQuaternion::rotationTo(QVector3D(0, 0, 1), axis.normalized()));
    return m;
}
