// A set of closed convex solids (boxes, prisms, cylinders) described by vertices and planar faces.
#pragma once

#include <QMatrix4x4>
#include <QVector3D>
#include <vector>

class Mesh
{
public:
    struct Face {
        std::vector<int> corners; // vertex indices around a planar convex polygon
        int solid = 0;            // faces of one solid share this number
    };

    const std::vector<QVector3D> &vertices() const { return points; }
    const std::vector<Face> &faces() const { return polygons; }
    int solidCount() const { return solids; }

    // A box of `size` centred on the origin of `placement`.
    void addBox(const QMatrix4x4 &placement, const QVector3D &size);
    // A prism or frustum along the local +Z axis of `placement`, from z = 0 to z = length.
    // With few segments it is a faceted prism (hexagonal handles); with many, a cylinder.
    void addCylinder(const QMatrix4x4 &placement, double radius0, double radius1, double length, int segments,
                     double phase = 0.0);
    // A box between two points with the given cross-section (width along `side`, height across both).
    void addBeam(const QVector3D &from, const QVector3D &to, double width, double height, const QVector3D &side);
    void append(const Mesh &other, const QMatrix4x4 &placement = QMatrix4x4());
    void transform(const QMatrix4x4 &matrix);

    // Lowest and highest corner of the axis-aligned bounds.
    QVector3D minimum() const;
    QVector3D maximum() const;

    // Placement whose local +Z points along `axis` and whose origin is `origin`.
    static QMatrix4x4 along(const QVector3D &origin, const QVector3D &axis);

private:
    std::vector<QVector3D> points;
    std::vector<Face> polygons;
    int solids = 0;
};
