// Projects a Mesh orthographically into hidden-line-free line art: visible outlines and creases only.
#pragma once

#include "Mesh.h"

#include <QLineF>
#include <QVector3D>
#include <vector>

class LineArtProjector
{
public:
    struct Line {
        QLineF line;     // screen coordinates, y pointing down
        bool outline;    // silhouette or boundary edge (drawn heavier) rather than an inner crease
    };

    // `towardViewer` points from the scene to the eye; world +Y is drawn upwards.
    explicit LineArtProjector(const QVector3D &towardViewer);

    std::vector<Line> project(const Mesh &mesh) const;
    QPointF projectPoint(const QVector3D &p) const;

private:
    QVector3D right, up, toward;
};
