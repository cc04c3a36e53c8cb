// The demo's picture: left, the scene from above with the player's heading over time;
// right, the screen with the path the marker took.

#include <algorithm>
#include <cmath>
#include <map>

#include "sim/picture/Picture.h"
#include "sim/scenario/Scenario.h"

namespace sim {

namespace {

constexpr int kWidth = 1000, kHeight = 580;
constexpr Color kBackground{28, 30, 36}, kPanel{40, 43, 52}, kGrid{58, 62, 74}, kInk{225, 228, 235},
    kDim{140, 146, 160}, kHostile{230, 80, 70}, kFriendly{90, 200, 120}, kDead{110, 110, 110}, kPlayer{255, 255, 255};
constexpr Color kTargetColors[] = {{255, 190, 60}, {90, 170, 255}, {230, 110, 230}, {120, 230, 220}, {250, 130, 90}};
// The marker movie's stage: 1600 x 960 units, centred on the screen.
constexpr double kStageHalfWidth = 800, kStageHalfHeight = 480;
constexpr double kGridStep = 200;
constexpr double kHeadingRayPixels = 90;

struct Box {
    int x, y, width, height;
};

Color Blend(Color a, Color b, double t) {
    const auto mix = [t](std::uint8_t u, std::uint8_t v) { return static_cast<std::uint8_t>(u + (v - u) * t); };
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

// Maps world x, y (y north) into a panel, keeping the scale the same on both axes.
struct MapView {
    Box box;
    double minX, minY, scale;
    double X(double x) const { return box.x + 20 + (x - minX) * scale; }
    double Y(double y) const { return box.y + box.height - 20 - (y - minY) * scale; }
};

MapView FitMap(const SessionTrace& trace, Box box) {
    double minX = -200, maxX = 200, minY = -200, maxY = 200;
    const auto include = [&](const Point& p) {
        minX = std::min(minX, p.x - 100), maxX = std::max(maxX, p.x + 100);
        minY = std::min(minY, p.y - 100), maxY = std::max(maxY, p.y + 100);
    };
    for (const Point& p : trace.player) include(p);
    for (const auto& actor : trace.actors)
        for (const Point& p : actor.path) include(p);
    const double scale = std::min((box.width - 40) / (maxX - minX), (box.height - 40) / (maxY - minY));
    return {box, minX, minY, scale};
}

void DrawMap(Canvas& canvas, const SessionTrace& trace, const std::map<std::string, Color>& targetColor) {
    const Box box{20, 50, 560, 510};
    canvas.Rect(box.x, box.y, box.width, box.height, kPanel);
    const MapView view = FitMap(trace, box);
    for (double x = std::ceil(view.minX / kGridStep) * kGridStep; view.X(x) < box.x + box.width; x += kGridStep)
        canvas.Line(view.X(x), box.y, view.X(x), box.y + box.height - 1, kGrid);
    for (double y = std::ceil(view.minY / kGridStep) * kGridStep; view.Y(y) > box.y; y += kGridStep)
        canvas.Line(box.x, view.Y(y), box.x + box.width - 1, view.Y(y), kGrid);
    canvas.Text(box.x + 8, box.y + 8, "SCENE FROM ABOVE, GRID 200 UNITS", kDim);

    // The player's heading, frame by frame: early frames blue, late ones yellow; red while locked.
    const std::size_t frames = trace.frames.size();
    for (std::size_t i = 0; i < frames; ++i) {
        const Point& at = trace.player[i];
        const double heading = trace.frames[i].headingDegrees * 3.141592653589793 / 180.0;
        const Color color = Blend({70, 120, 255}, {255, 230, 80}, frames > 1 ? double(i) / (frames - 1) : 1.0);
        canvas.Line(view.X(at.x), view.Y(at.y), view.X(at.x) + kHeadingRayPixels * std::sin(heading),
                    view.Y(at.y) - kHeadingRayPixels * std::cos(heading), color);
    }
    // Who was locked: a line from the player to each target it held.
    for (std::size_t i = 0; i < frames; ++i) {
        const std::string& target = trace.frames[i].target;
        if (target.empty() || i % 10 != 0) continue;
        for (const auto& actor : trace.actors)
            if (actor.name == target)
                canvas.Line(view.X(trace.player[i].x), view.Y(trace.player[i].y), view.X(actor.path[i].x),
                            view.Y(actor.path[i].y), Blend(targetColor.at(target), kPanel, 0.55));
    }
    for (const auto& actor : trace.actors) {
        if (actor.path.empty()) continue;
        for (std::size_t i = 1; i < actor.path.size(); ++i)
            canvas.Line(view.X(actor.path[i - 1].x), view.Y(actor.path[i - 1].y), view.X(actor.path[i].x),
                        view.Y(actor.path[i].y), kDim);
        const Point& at = actor.path.back();
        const Color color = actor.dead ? kDead : actor.hostile ? kHostile : kFriendly;
        canvas.Disc(view.X(at.x), view.Y(at.y), 6, color);
        if (targetColor.count(actor.name)) canvas.Ring(view.X(at.x), view.Y(at.y), 9, targetColor.at(actor.name));
        canvas.Text(static_cast<int>(view.X(at.x)) + 12, static_cast<int>(view.Y(at.y)) - 5, actor.name, color);
    }
    if (!trace.player.empty()) {
        const Point& at = trace.player.back();
        canvas.Disc(view.X(at.x), view.Y(at.y), 7, kPlayer);
        canvas.Text(static_cast<int>(view.X(at.x)) + 12, static_cast<int>(view.Y(at.y)) + 6, "PLAYER", kPlayer);
    }
}

void DrawScreen(Canvas& canvas, const SessionTrace& trace, const std::map<std::string, Color>& targetColor) {
    const Box box{600, 50, 380, 228};  // the stage's 5:3
    canvas.Rect(box.x, box.y, box.width, box.height, kPanel);
    canvas.Frame(box.x, box.y, box.width, box.height, kGrid);
    const double scale = box.width / (2 * kStageHalfWidth);
    const double cx = box.x + box.width / 2.0, cy = box.y + box.height / 2.0;
    canvas.Line(cx - 10, cy, cx + 10, cy, kDim);
    canvas.Line(cx, cy - 10, cx, cy + 10, kDim);
    canvas.Text(box.x, box.y - 16, "MARKER ON SCREEN", kDim);

    const FrameRecord* previous = nullptr;
    for (const FrameRecord& frame : trace.frames) {
        const bool placed = !frame.target.empty() && frame.markerShown && frame.movieCalls.size() > 0 &&
                            frame.movieCalls.back().rfind("SetTargetPos", 0) == 0;
        if (!placed) {
            previous = nullptr;
            continue;
        }
        const double x = cx + std::clamp(frame.markerX, -kStageHalfWidth, kStageHalfWidth) * scale;
        const double y = cy + std::clamp(frame.markerY, -kStageHalfHeight, kStageHalfHeight) * scale;
        const Color color = targetColor.at(frame.target);
        if (previous != nullptr && previous->target == frame.target)
            canvas.Line(cx + std::clamp(previous->markerX, -kStageHalfWidth, kStageHalfWidth) * scale,
                        cy + std::clamp(previous->markerY, -kStageHalfHeight, kStageHalfHeight) * scale, x, y, color);
        canvas.Disc(x, y, 2.5, color);
        previous = &frame;
    }
}

void DrawLegend(Canvas& canvas, const std::map<std::string, Color>& targetColor, std::size_t frames) {
    int y = 300;
    canvas.Text(600, y, "LEGEND", kDim);
    y += 20;
    canvas.Disc(606, y + 4, 6, kHostile), canvas.Text(620, y, "HOSTILE", kInk);
    canvas.Disc(726, y + 4, 6, kFriendly), canvas.Text(740, y, "FRIENDLY", kInk);
    canvas.Disc(866, y + 4, 6, kDead), canvas.Text(880, y, "DEAD", kInk);
    y += 22;
    canvas.Line(600, y + 4, 630, y + 4, {70, 120, 255}, 2);
    canvas.Line(630, y + 4, 660, y + 4, {255, 230, 80}, 2);
    canvas.Text(670, y, "PLAYER HEADING, FIRST TO LAST FRAME", kInk);
    y += 22;
    for (const auto& [name, color] : targetColor) {
        canvas.Ring(606, y + 4, 6, color);
        canvas.Text(620, y, "LOCKED: " + name, color);
        y += 18;
    }
    canvas.Text(600, kHeight - 30, std::to_string(frames) + " FRAMES", kDim);
}

}  // namespace

bool DrawSession(const SessionTrace& trace, const std::string& pngPath) {
    Canvas canvas(kWidth, kHeight, kBackground);
    canvas.Text(20, 18, "VELDRIN - " + trace.title, kInk, 3);
    std::map<std::string, Color> targetColor;
    for (const FrameRecord& frame : trace.frames)
        if (!frame.target.empty() && !targetColor.count(frame.target))
            targetColor[frame.target] = kTargetColors[targetColor.size() % std::size(kTargetColors)];
    DrawMap(canvas, trace, targetColor);
    DrawScreen(canvas, trace, targetColor);
    DrawLegend(canvas, targetColor, trace.frames.size());
    return canvas.SavePng(pngPath);
}

}  // namespace sim
