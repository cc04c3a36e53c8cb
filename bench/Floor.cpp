#include "Floor.h"

#include <cmath>

namespace floorplan {

namespace {

const double pi = 3.141592653589793;
const double twoPi = 6.283185307179586;

double Wrap(double a) {
    while (a > pi) a -= twoPi;
    while (a < -pi) a += twoPi;
    return a;
}

}  // namespace

Outputs Frame(const Inputs& in) {
    Outputs out{};

    // The aim point: the body part's node, or the skeleton table's, by the lowercased path.
    Point aim = in.aim;
    if (in.throughTable) {
        char lowered[260];
        std::size_t n = 0;
        for (; in.skeletonPath[n] != '\0'; ++n) {
            const char c = in.skeletonPath[n];
            lowered[n] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        const auto found = in.aimPoints->find(std::string_view(lowered, n));
        if (found != in.aimPoints->end()) aim = found->second;
    }

    // Re-validation by distance.
    const float dx = aim.x - in.eye.x, dy = aim.y - in.eye.y, dz = aim.z - in.eye.z;
    const float s = static_cast<float>(std::sqrt(static_cast<double>((dy * dy + dx * dx) + dz * dz)));
    if (s > static_cast<float>(in.maxDistance)) return out;
    out.kept = true;

    // The camera's angles.
    float rx, ry, rz;
    if (in.firstPerson) {
        const auto& m = in.nodeRotation;
        const double e = m[2][1];
        float a, roll = 0, h;
        if (std::fabs(e - 1.0) < 0.001) {
            a = 1.5707964f;
            h = static_cast<float>(std::atan2(static_cast<double>(m[1][0]), static_cast<double>(m[0][0])));
        } else if (std::fabs(e + 1.0) < 0.001) {
            a = -1.5707964f;
            h = static_cast<float>(std::atan2(static_cast<double>(m[1][0]), static_cast<double>(m[0][0])));
        } else {
            a = static_cast<float>(std::asin(e));
            roll = static_cast<float>(std::atan2(static_cast<double>(-m[2][0]), static_cast<double>(m[2][2])));
            h = static_cast<float>(std::atan2(static_cast<double>(-m[0][1]), static_cast<double>(m[1][1])));
        }
        double heading = -static_cast<double>(h);
        while (heading < 0) heading += twoPi;
        while (heading > twoPi) heading -= twoPi;
        rz = static_cast<float>(heading);
        rx = in.playerPitch - a;
        ry = roll;
    } else {
        rx = in.playerPitch + in.pitchOffset;
        ry = 0;
        rz = in.playerHeading + in.headingOffset;
    }

    // Projection.
    const float h = static_cast<float>(std::sqrt(static_cast<double>(dy * dy + dx * dx)));
    const float theta = static_cast<float>(std::atan2(static_cast<double>(dx), static_cast<double>(dy)));
    const float phi = static_cast<float>(std::atan2(static_cast<double>(-dz), static_cast<double>(h)));
    const double r = static_cast<float>(std::sqrt(static_cast<double>(h * h + dz * dz)));
    const double dTheta = Wrap(static_cast<double>(theta) - static_cast<double>(rz));
    const double dPhi = Wrap(static_cast<double>(phi) - static_cast<double>(rx));
    const double f = r * std::cos(dTheta) * std::cos(dPhi);
    double u = r * std::sin(dTheta);
    double v = r * std::sin(dPhi);
    if (static_cast<float>(std::fabs(static_cast<double>(ry))) > 0) {
        const double c = static_cast<float>(std::cos(static_cast<double>(ry)));
        const double sn = static_cast<float>(std::sin(static_cast<double>(ry)));
        const double u0 = u;
        u = u0 * c - sn * v;
        v = v * c + sn * u0;
    }
    const double k = 1.0 / std::tan(static_cast<double>(in.fieldOfView) * pi / 360.0);
    const double w = in.screenWidth, ht = in.screenHeight;
    out.markerX = (((u / f) * k * 800.0) / w) * ht;
    out.markerY = ((v / f) * k) * 480.0;
    out.markerDistance = r;

    // Steering: the differences again from the camera position, then a fraction of them.
    const float sx = aim.x - in.eye.x, sy = aim.y - in.eye.y, sz = aim.z - in.eye.z;
    const float horizontal = static_cast<float>(std::sqrt(static_cast<double>(sx * sx + sy * sy)));
    const float wantedHeading = static_cast<float>(std::atan2(static_cast<double>(sx), static_cast<double>(sy)));
    const float wantedPitch = static_cast<float>(std::atan2(static_cast<double>(-sz), static_cast<double>(horizontal)));
    out.aimDistance = static_cast<float>(std::sqrt(static_cast<double>(horizontal * horizontal + sz * sz)));
    const double headingDelta = Wrap(static_cast<double>(wantedHeading) - in.playerHeading);
    const double pitchDelta = Wrap(static_cast<double>(wantedPitch) - in.playerPitch);

    const double divisor = static_cast<double>(in.cameraSpeed) * 60.0 / 2000.0;
    double heading = headingDelta / divisor + in.playerHeading;
    while (heading < 0) heading += twoPi;
    while (heading > twoPi) heading -= twoPi;
    const double pitch = Wrap(pitchDelta / divisor + in.playerPitch);
    out.headingOffset = in.firstPerson ? in.headingOffset : 0.0f;
    out.pitchOffset = in.firstPerson ? in.pitchOffset : 0.0f;
    out.heading = static_cast<float>(heading);
    out.pitch = static_cast<float>(pitch);
    return out;
}

}  // namespace floorplan
