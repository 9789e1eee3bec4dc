// Simple solid models of the product types, in device axes: X forward (lens), Y left, Z up (handle).
#include "ProductModels.h"

#include <QMap>

namespace {

enum class HandleShape { Round, Hexagonal, Square };
enum class Payload { ActionCamera, MirrorlessCamera, Phone };

// What tells the product types apart; everything else follows from these few numbers.
struct GimbalTraits {
    bool panMotor = true;           // 3-axis heads have a pan motor on top of the handle
    HandleShape handle = HandleShape::Round;
    double handleRadius = 17;
    double handleLength = 130;
    int gripRings = 0;              // raised rings along the handle
    bool tripodFeet = false;        // folded tripod legs under the handle
    bool sideWheel = false;         // focus wheel on the handle's side
    bool crossGrip = false;         // sling bar across the foot of the handle
    bool joystick = true;           // control panel with a thumb stick on the handle's front
    Payload payload = Payload::ActionCamera;
    double motorRadius = 17;
    double armThickness = 8;
    double scale = 1.35;            // size of the head against the handle
};

const QVector3D X(1, 0, 0), Y(0, 1, 0), Z(0, 0, 1);

QMatrix4x4 at(const QVector3D &p)
{
    QMatrix4x4 m;
    m.translate(p);
    return m;
}

void addMotor(Mesh &mesh, const QVector3D &centre, const QVector3D &axis, double radius, double length)
{
    const QVector3D start = centre - axis * float(length / 2);
    mesh.addCylinder(Mesh::along(start, axis), radius, radius, length * 0.8, 28);
    // a bevelled cap and a hub make the motor read as a motor rather than a plain disc
    mesh.addCylinder(Mesh::along(start + axis * float(length * 0.8), axis), radius, radius * 0.82, length * 0.2, 28);
    mesh.addCylinder(Mesh::along(start + axis * float(length), axis), radius * 0.3, radius * 0.3, length * 0.12, 20);
}

void addHandle(Mesh &mesh, const GimbalTraits &s, const QVector3D &top)
{
    const double r = s.handleRadius;
    const QVector3D bottom = top - Z * float(s.handleLength);
    switch (s.handle) {
    case HandleShape::Round:
        mesh.addCylinder(Mesh::along(bottom, Z), r * 0.9, r, s.handleLength, 28);
        break;
    case HandleShape::Hexagonal:
        mesh.addCylinder(Mesh::along(bottom, Z), r, r, s.handleLength, 6, M_PI / 6);
        break;
    case HandleShape::Square:
        mesh.addBox(at((top + bottom) / 2), QVector3D(float(2 * r), float(2 * r), float(s.handleLength)));
        break;
    }
    for (int i = 0; i < s.gripRings; ++i) {
        const QVector3D ring = bottom + Z * float(s.handleLength * (0.1 + 0.16 * i));
        mesh.addCylinder(Mesh::along(ring, Z), r * 1.12, r * 1.12, 5, s.handle == HandleShape::Hexagonal ? 6 : 28,
                         s.handle == HandleShape::Hexagonal ? M_PI / 6 : 0);
    }
    if (s.joystick) {
        const QVector3D panel = top + X * float(r * 0.85) - Z * float(s.handleLength * 0.28);
        mesh.addBox(at(panel), QVector3D(8, float(r * 1.3), 46));
        mesh.addCylinder(Mesh::along(panel + X * 4 + Z * 12, X), 5, 4, 6, 16);
        mesh.addCylinder(Mesh::along(panel + X * 4 - Z * 8, X), 3.5, 3.5, 3, 16);
    }
    // end cap of the handle
    if (s.handle == HandleShape::Round)
        mesh.addCylinder(Mesh::along(bottom - Z * 4, Z), r * 0.95, r * 0.95, 4, 28);
    if (s.sideWheel)
        mesh.addCylinder(Mesh::along(top - Z * float(s.handleLength * 0.3) + Y * float(r), Y), 13, 13, 7, 28);
    if (s.tripodFeet)
        for (int leg = 0; leg < 3; ++leg) {
            const double a = 2 * M_PI * leg / 3 + M_PI / 3;
            const QVector3D out(float(std::cos(a)), float(std::sin(a)), 0);
            mesh.addBeam(bottom + out * float(r * 0.6), bottom + out * float(r * 2.6) - Z * 48, 8, 6,
                         QVector3D::crossProduct(out, Z));
        }
    if (s.crossGrip)
        mesh.addBox(at(bottom + Z * 14), QVector3D(16, float(6 * r), 12));
}

// The payload centred on the origin, lens along +X; returns its half extent along Y.
double addPayload(Mesh &mesh, const GimbalTraits &s, const QVector3D &c)
{
    const float k = float(s.scale);
    switch (s.payload) {
    case Payload::ActionCamera:
        mesh.addBox(at(c), QVector3D(30, 58, 42) * k);
        mesh.addCylinder(Mesh::along(c + X * 15 * k + Y * 12 * k, X), 12 * k, 10 * k, 10 * k, 28);
        mesh.addBox(at(c + X * 15.5f * k - Y * 14 * k + Z * 10 * k), QVector3D(1, 16, 10) * k); // front display
        mesh.addBox(at(c - X * 15.5f * k), QVector3D(1, 44, 30) * k);                           // rear screen
        mesh.addCylinder(Mesh::along(c + Z * 21 * k - Y * 16 * k, Z), 5 * k, 5 * k, 3 * k, 20);  // shutter button
        return 29 * k;
    case Payload::MirrorlessCamera:
        mesh.addBox(at(c), QVector3D(40, 100, 62) * k);
        mesh.addBox(at(c + X * 20 * k - Y * 38 * k - Z * 4 * k), QVector3D(14, 22, 52) * k); // grip
        mesh.addBox(at(c + Z * 38 * k + Y * 8 * k), QVector3D(30, 28, 16) * k);             // viewfinder hump
        mesh.addCylinder(Mesh::along(c + X * 20 * k + Y * 8 * k, X), 25 * k, 25 * k, 22 * k, 32);
        mesh.addCylinder(Mesh::along(c + X * 42 * k + Y * 8 * k, X), 27 * k, 27 * k, 26 * k, 32);
        mesh.addCylinder(Mesh::along(c + X * 68 * k + Y * 8 * k, X), 28 * k, 31 * k, 14 * k, 32);
        mesh.addBox(at(c - Z * 37 * k), QVector3D(50, 60, 12) * k); // quick-release plate
        mesh.addBox(at(c - X * 20.5f * k + Y * 6 * k), QVector3D(1, 62, 44) * k); // rear screen
        mesh.addCylinder(Mesh::along(c + Z * 31 * k - Y * 36 * k, Z), 6 * k, 6 * k, 4 * k, 20);
        mesh.addCylinder(Mesh::along(c + Z * 31 * k - Y * 20 * k, Z), 8 * k, 8 * k, 5 * k, 24); // mode dial
        return 50 * k;
    case Payload::Phone:
        mesh.addBox(at(c), QVector3D(9, 150, 74) * k);
        mesh.addCylinder(Mesh::along(c - X * 4.5f * k + Y * 55 * k + Z * 22 * k, -X), 9 * k, 9 * k, 3 * k, 24);
        mesh.addBox(at(c - X * 9 * k), QVector3D(10, 28, 96) * k); // clamp
        mesh.addBox(at(c + Z * 48 * k - X * 1 * k), QVector3D(16, 24, 6) * k);
        mesh.addBox(at(c - Z * 48 * k - X * 1 * k), QVector3D(16, 24, 6) * k);
        return 12 * k;
    }
    return 0;
}

Mesh build(const GimbalTraits &s)
{
    Mesh mesh;
    const float k = float(s.scale);
    const double mr = s.motorRadius * s.scale;
    const float t = float(s.armThickness * s.scale);
    const bool phone = s.payload == Payload::Phone;
    const float payloadDepth = (s.payload == Payload::MirrorlessCamera ? 40 : phone ? 28 : 30) * k;
    const float cz = float(s.panMotor ? 95 : 70) * k;
    const QVector3D camera(0, 0, cz);
    const double halfWidth = addPayload(mesh, s, camera);

    // Roll motor behind the payload, its axis along the lens.
    const float rollX = -(payloadDepth / 2 + float(phone ? 14 : 30) * k);
    addMotor(mesh, QVector3D(rollX, 0, cz), X, mr, 20 * k);
    const float postX = rollX - 10 * k - t / 2;

    if (phone) {
        mesh.addBeam(QVector3D(rollX + 10 * k, 0, cz), QVector3D(-payloadDepth / 2 + 5 * k, 0, cz), 10 * k, 10 * k, Y);
    } else {
        // Roll arm: out to the side, then forward to the tilt motor beside the payload.
        const float side = -float(halfWidth) - 16 * k;
        const float armX = rollX + 10 * k + t / 2;
        mesh.addBeam(QVector3D(armX, 0, cz), QVector3D(armX, side - t / 2, cz), 20 * k, t, X);
        mesh.addBeam(QVector3D(armX - t / 2, side, cz), QVector3D(0, side, cz), t, 20 * k, Y);
        addMotor(mesh, QVector3D(0, side + 10 * k, cz), Y, mr, 16 * k);
    }

    if (s.panMotor) {
        const float mh = 22 * k;
        const QVector3D panCentre(postX, 0, float(s.handleLength * 0) + mh / 2);
        addMotor(mesh, panCentre, Z, mr * 1.05, mh);
        mesh.addBeam(QVector3D(postX, 0, mh), QVector3D(postX, 0, cz + 12 * k), 20 * k, t, X);
        addHandle(mesh, s, QVector3D(postX, 0, 0));
    } else {
        mesh.addBeam(QVector3D(postX, 0, -4), QVector3D(postX, 0, cz + 12 * k), 22 * k, t * 1.3f, X);
        addHandle(mesh, s, QVector3D(postX, 0, 0));
    }
    return mesh;
}

const QMap<QString, GimbalTraits> &traits()
{
    static const QMap<QString, GimbalTraits> table = [] {
        QMap<QString, GimbalTraits> m;
        GimbalTraits twoAxis;
        twoAxis.panMotor = false;
        twoAxis.handleLength = 110;
        twoAxis.gripRings = 3;
        twoAxis.joystick = false;
        m.insert(QStringLiteral("2-axis"), twoAxis);

        m.insert(QStringLiteral("3-axis"), GimbalTraits());

        GimbalTraits birch;
        birch.handle = HandleShape::Hexagonal;
        birch.handleRadius = 18;
        birch.tripodFeet = true;
        m.insert(QStringLiteral("birch"), birch);

        GimbalTraits birch2 = birch;
        birch2.payload = Payload::MirrorlessCamera;
        birch2.handleRadius = 22;
        birch2.handleLength = 170;
        birch2.motorRadius = 22;
        birch2.armThickness = 10;
        m.insert(QStringLiteral("birch2"), birch2);

        GimbalTraits cedar;
        cedar.payload = Payload::MirrorlessCamera;
        cedar.handleRadius = 22;
        cedar.handleLength = 160;
        cedar.crossGrip = true;
        cedar.gripRings = 2;
        cedar.motorRadius = 24;
        cedar.armThickness = 11;
        m.insert(QStringLiteral("cedar"), cedar);

        GimbalTraits ember;
        ember.handle = HandleShape::Square;
        ember.handleRadius = 17;
        ember.handleLength = 140;
        ember.sideWheel = true;
        ember.motorRadius = 19;
        ember.armThickness = 10;
        m.insert(QStringLiteral("ember"), ember);

        GimbalTraits ember2 = ember;
        ember2.payload = Payload::MirrorlessCamera;
        ember2.handleRadius = 21;
        ember2.handleLength = 170;
        ember2.motorRadius = 23;
        ember2.armThickness = 12;
        m.insert(QStringLiteral("ember2"), ember2);

        GimbalTraits phone;
        phone.payload = Payload::Phone;
        phone.handleLength = 140;
        phone.handleRadius = 16;
        m.insert(QStringLiteral("phone"), phone);
        return m;
    }();
    return table;
}

} // namespace

namespace ProductModels {

Mesh model(const QString &set)
{
    const auto it = traits().constFind(set);
    return it == traits().constEnd() ? Mesh() : build(*it);
}

} // namespace ProductModels
