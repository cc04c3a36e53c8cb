// The demo's picture: left, the scene from above with the player's heading over time;
// right, the screen with the path the marker took and where the lock changed.

#include "sim/picture/SessionPicture.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace sim {

namespace {

constexpr int kWidth = 1200, kHeight = 720;
constexpr int kMargin = 20, kTitleScale = 3, kTextHeight = 10, kRowHeight = 17;
constexpr Color kBackground{28, 30, 36}, kPanel{40, 43, 52}, kGrid{58, 62, 74}, kInk{225, 228, 235},
    kDim{140, 146, 160}, kHostile{230, 80, 70}, kFriendly{90, 200, 120}, kDead{110, 110, 110}, kPlayer{255, 255, 255};
// Time runs from the first frame's colour to the last one's, in both panels.
constexpr Color kEarly{70, 120, 255}, kLate{255, 230, 80};
constexpr Color kTargetColors[] = {{255, 190, 60}, {90, 170, 255}, {230, 110, 230}, {120, 230, 220}, {250, 130, 90}};
constexpr double kPi = 3.141592653589793;

constexpr Box kMapBox{kMargin, 50, 560, 650};
constexpr double kGridStep = 200;
constexpr double kHeadingRayPixels = 90;

// The right-hand column: the screen panel at most this size, then the list of lock changes.
constexpr int kColumnX = 600, kColumnWidth = kWidth - kColumnX - kMargin, kScreenTop = 68, kScreenMaxHeight = 360;
// The marker movie's stage: 1600 x 960 units, its origin at the screen's centre.
constexpr double kStageHalfWidth = 800, kStageHalfHeight = 480;
constexpr double kMarkRadius = 7;
constexpr double kSamePlacePixels = kMarkRadius + 2;  // marks this close would hide one another
// The centre is enlarged by powers of two while the marker's reach still fills no more than
// this share of the panel's half size.
constexpr int kMaxZoom = 8;
constexpr double kZoomFill = 0.85;
constexpr int kOverviewWidth = 96;

Color Blend(Color a, Color b, double t) {
    const auto mix = [t](std::uint8_t u, std::uint8_t v) { return static_cast<std::uint8_t>(u + (v - u) * t); };
    return {mix(a.r, b.r), mix(a.g, b.g), mix(a.b, b.b)};
}

Color TimeColor(std::size_t frameIndex, std::size_t frames) {
    return Blend(kEarly, kLate, frames > 1 ? double(frameIndex) / double(frames - 1) : 1.0);
}

int Round(double value) { return static_cast<int>(std::lround(value)); }

// --- The scene from above.

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
    const Box box = kMapBox;
    canvas.Rect(box.x, box.y, box.width, box.height, kPanel);
    const MapView view = FitMap(trace, box);
    for (double x = std::ceil(view.minX / kGridStep) * kGridStep; view.X(x) < box.x + box.width; x += kGridStep)
        canvas.Line(view.X(x), box.y, view.X(x), box.y + box.height - 1, kGrid);
    for (double y = std::ceil(view.minY / kGridStep) * kGridStep; view.Y(y) > box.y; y += kGridStep)
        canvas.Line(box.x, view.Y(y), box.x + box.width - 1, view.Y(y), kGrid);
    canvas.Text(box.x + 8, box.y + 8, "SCENE FROM ABOVE, GRID 200 UNITS", kDim);

    // The player's heading, frame by frame, in the colour of its time.
    const std::size_t frames = trace.frames.size();
    for (std::size_t i = 0; i < frames; ++i) {
        const Point& at = trace.player[i];
        const double heading = trace.frames[i].headingDegrees * kPi / 180.0;
        canvas.Line(view.X(at.x), view.Y(at.y), view.X(at.x) + kHeadingRayPixels * std::sin(heading),
                    view.Y(at.y) - kHeadingRayPixels * std::cos(heading), TimeColor(i, frames));
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
        canvas.Text(Round(view.X(at.x)) + 12, Round(view.Y(at.y)) - 5, actor.name, color);
    }
    if (!trace.player.empty()) {
        const Point& at = trace.player.back();
        canvas.Disc(view.X(at.x), view.Y(at.y), 7, kPlayer);
        canvas.Text(Round(view.X(at.x)) + 12, Round(view.Y(at.y)) + 6, "PLAYER", kPlayer);
    }
}

// --- The screen.

// A frame whose draw put the marker on the screen.
bool MarkerPlaced(const FrameRecord& frame) {
    return !frame.target.empty() && frame.markerShown && !frame.movieCalls.empty() &&
           frame.movieCalls.back().rfind("SetTargetPos", 0) == 0;
}

double ClampX(double stageX) { return std::clamp(stageX, -kStageHalfWidth, kStageHalfWidth); }
double ClampY(double stageY) { return std::clamp(stageY, -kStageHalfHeight, kStageHalfHeight); }

const char* KindName(LockEvent::Kind kind) {
    switch (kind) {
        case LockEvent::Kind::kLock: return "LOCK";
        case LockEvent::Kind::kSwitch: return "SWITCH";
        case LockEvent::Kind::kRelease: return "RELEASE";
    }
    return "";
}

// Lock: a ring; switch: a diamond; release: a cross.
void DrawMark(Canvas& canvas, LockEvent::Kind kind, double x, double y, Color color, double radius = kMarkRadius) {
    switch (kind) {
        case LockEvent::Kind::kLock:
            canvas.Ring(x, y, radius, color);
            canvas.Ring(x, y, radius - 1, color);
            break;
        case LockEvent::Kind::kSwitch:
            canvas.Line(x, y - radius, x + radius, y, color, 2);
            canvas.Line(x + radius, y, x, y + radius, color, 2);
            canvas.Line(x, y + radius, x - radius, y, color, 2);
            canvas.Line(x - radius, y, x, y - radius, color, 2);
            break;
        case LockEvent::Kind::kRelease:
            canvas.Line(x - radius, y - radius, x + radius, y + radius, color, 2);
            canvas.Line(x - radius, y + radius, x + radius, y - radius, color, 2);
            break;
    }
}

bool Overlaps(const Box& a, const Box& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// A place for a mark's number beside it that no earlier number holds, inside the panel.
Box PlaceLabel(const std::string& text, double x, double y, const Box& panel, std::vector<Box>& taken) {
    const int width = Canvas::TextWidth(text), gap = static_cast<int>(kMarkRadius) + 3;
    const int cx = Round(x), cy = Round(y);
    std::vector<Box> candidates = {{cx + gap, cy - kTextHeight / 2, width, kTextHeight},
                                   {cx - gap - width, cy - kTextHeight / 2, width, kTextHeight},
                                   {cx - width / 2, cy - gap - kTextHeight, width, kTextHeight},
                                   {cx - width / 2, cy + gap, width, kTextHeight}};
    for (int step = 1; step <= 8; ++step)  // then further out, row by row
        for (int side : {1, -1})
            candidates.push_back(
                {side > 0 ? cx + gap : cx - gap - width, cy - kTextHeight / 2 + side * step * 13, width, kTextHeight});
    for (Box& candidate : candidates) {
        candidate.x = std::clamp(candidate.x, panel.x + 2, panel.x + panel.width - width - 2);
        candidate.y = std::clamp(candidate.y, panel.y + 2, panel.y + panel.height - kTextHeight - 2);
        const bool free = std::none_of(taken.begin(), taken.end(), [&](const Box& other) {
            return Overlaps({candidate.x - 2, candidate.y - 2, candidate.width + 4, candidate.height + 4}, other);
        });
        if (free) {
            taken.push_back(candidate);
            return candidate;
        }
    }
    taken.push_back(candidates.front());  // crowded everywhere: beside the mark after all
    return candidates.front();
}

// Returns the panel's bottom edge.
int DrawScreen(Canvas& canvas, const SessionTrace& trace, const std::vector<LockEvent>& events) {
    const ScreenPanel panel = ScreenPanelFor(trace);
    const Box& box = panel.box;
    std::string title = panel.sizeKnown ? "MARKER ON SCREEN, " + std::to_string(trace.screenWidth) + " X " +
                                              std::to_string(trace.screenHeight)
                                        : std::string("MARKER ON SCREEN (THE GAME REPORTED NO SIZE)");
    if (panel.zoom > 1) title += ", ITS CENTRE AT " + std::to_string(panel.zoom) + "X";
    canvas.Text(kColumnX, kScreenTop - 18, title, kDim);
    canvas.Rect(box.x, box.y, box.width, box.height, kPanel);
    // Lines at every eighth of the screen that falls inside; the middle ones brighter.
    const Color faint = Blend(kGrid, kPanel, 0.5);
    for (int eighth = -3; eighth <= 3; ++eighth) {
        const double x = panel.X(eighth * kStageHalfWidth / 4), y = panel.Y(eighth * kStageHalfHeight / 4);
        if (x > box.x && x < box.x + box.width - 1)
            canvas.Line(x, box.y, x, box.y + box.height - 1, eighth == 0 ? kGrid : faint);
        if (y > box.y && y < box.y + box.height - 1)
            canvas.Line(box.x, y, box.x + box.width - 1, y, eighth == 0 ? kGrid : faint);
    }
    canvas.Frame(box.x, box.y, box.width, box.height, kGrid);
    if (panel.zoom > 1) {  // the whole screen in the corner, with the part shown
        const int width = kOverviewWidth, height = Round(kOverviewWidth * double(box.height) / box.width);
        const int x = box.x + box.width - width - 6, y = box.y + 6;
        canvas.Rect(x, y, width, height, kBackground);
        canvas.Frame(x, y, width, height, kDim);
        const int shownWidth = width / panel.zoom, shownHeight = height / panel.zoom;
        canvas.Frame(x + (width - shownWidth) / 2, y + (height - shownHeight) / 2, shownWidth, shownHeight, kInk);
    }

    // The marker's path, in the colour of its time; a new target's path starts where it
    // stood when it was taken.
    const std::size_t frames = trace.frames.size();
    std::map<int, const LockEvent*> takenAt;
    for (const LockEvent& event : events)
        if (event.kind != LockEvent::Kind::kRelease) takenAt[event.frame] = &event;
    bool havePrevious = false;
    double previousX = 0, previousY = 0;
    std::string previousTarget;
    for (std::size_t i = 0; i < frames; ++i) {
        const FrameRecord& frame = trace.frames[i];
        if (const auto taken = takenAt.find(frame.frame); taken != takenAt.end()) {
            previousX = panel.X(ClampX(taken->second->stageX)), previousY = panel.Y(ClampY(taken->second->stageY));
            previousTarget = taken->second->target;
            havePrevious = true;
        }
        if (!MarkerPlaced(frame)) {
            if (frame.target.empty()) havePrevious = false;
            continue;
        }
        const double x = panel.X(ClampX(frame.markerX)), y = panel.Y(ClampY(frame.markerY));
        const Color color = TimeColor(i, frames);
        if (havePrevious && previousTarget == frame.target) canvas.Line(previousX, previousY, x, y, color, 2);
        canvas.Disc(x, y, 2, color);
        previousX = x, previousY = y, previousTarget = frame.target, havePrevious = true;
    }

    // One mark for changes of one kind at one place, numbered with all of them; the numbers
    // keep clear of every mark and of each other.
    struct Mark {
        LockEvent::Kind kind;
        double x, y;
        std::string numbers;
    };
    std::vector<Mark> marks;
    for (std::size_t n = 0; n < events.size(); ++n) {
        const double x = panel.X(ClampX(events[n].stageX)), y = panel.Y(ClampY(events[n].stageY));
        const auto same = std::find_if(marks.begin(), marks.end(), [&](const Mark& mark) {
            return mark.kind == events[n].kind && std::hypot(mark.x - x, mark.y - y) < kSamePlacePixels;
        });
        if (same == marks.end())
            marks.push_back({events[n].kind, x, y, std::to_string(n + 1)});
        else
            same->numbers += "," + std::to_string(n + 1);
    }
    std::vector<Box> labels;
    for (const Mark& mark : marks) {
        const int reach = static_cast<int>(kMarkRadius) + 1;
        labels.push_back({Round(mark.x) - reach, Round(mark.y) - reach, 2 * reach + 1, 2 * reach + 1});
    }
    for (const Mark& mark : marks) {
        DrawMark(canvas, mark.kind, mark.x, mark.y, kInk);
        const Box label = PlaceLabel(mark.numbers, mark.x, mark.y, box, labels);
        canvas.Text(label.x, label.y, mark.numbers, kInk);
    }
    return box.y + box.height;
}

void DrawColumn(Canvas& canvas, const SessionTrace& trace, const std::vector<LockEvent>& events,
                const std::map<std::string, Color>& targetColor, int top) {
    const std::size_t frames = trace.frames.size();
    int y = top + 12;
    // The time scale both panels use.
    constexpr int kBarWidth = 150;
    for (int x = 0; x < kBarWidth; ++x)
        canvas.Rect(kColumnX + x, y + 2, 1, 6, Blend(kEarly, kLate, double(x) / (kBarWidth - 1)));
    canvas.Text(kColumnX + kBarWidth + 10, y, "FRAME 1 TO " + std::to_string(frames) + ": MARKER PATH, PLAYER HEADING",
                kInk);
    y += kRowHeight + 6;

    canvas.Text(kColumnX, y, "LOCK CHANGES", kDim);
    y += kRowHeight;
    const int listEnd = kHeight - 3 * kRowHeight - kMargin;
    if (events.empty()) canvas.Text(kColumnX + 22, y, "NONE", kInk), y += kRowHeight;
    for (std::size_t n = 0; n < events.size(); ++n) {
        if (y + kRowHeight > listEnd && n + 1 < events.size()) {
            canvas.Text(kColumnX + 22, y, "AND " + std::to_string(events.size() - n) + " MORE", kDim);
            y += kRowHeight;
            break;
        }
        const LockEvent& event = events[n];
        DrawMark(canvas, event.kind, kColumnX + 6, y + 4.5, kInk, 5);
        const std::string number = std::to_string(n + 1);
        canvas.Text(kColumnX + 18, y, number, kInk);
        canvas.Text(kColumnX + 42, y, "FRAME " + std::to_string(event.frame), kDim);
        canvas.Text(kColumnX + 130, y, KindName(event.kind), kInk);
        canvas.Text(kColumnX + 210, y, event.target, targetColor.at(event.target));
        y += kRowHeight;
    }

    y = std::max(y + 8, listEnd);
    canvas.Disc(kColumnX + 6, y + 4, 6, kHostile), canvas.Text(kColumnX + 20, y, "HOSTILE", kInk);
    canvas.Disc(kColumnX + 126, y + 4, 6, kFriendly), canvas.Text(kColumnX + 140, y, "FRIENDLY", kInk);
    canvas.Disc(kColumnX + 266, y + 4, 6, kDead), canvas.Text(kColumnX + 280, y, "DEAD", kInk);
    canvas.Ring(kColumnX + 366, y + 4, 6, kDim), canvas.Text(kColumnX + 380, y, "WAS LOCKED", kInk);
    y += kRowHeight + 4;
    canvas.Text(kColumnX, y, std::to_string(frames) + " FRAMES", kDim);
}

}  // namespace

double ScreenPanel::X(double stageX) const {
    return box.x + box.width / 2.0 + stageX / (2 * kStageHalfWidth) * box.width * zoom;
}
double ScreenPanel::Y(double stageY) const {
    return box.y + box.height / 2.0 + stageY / (2 * kStageHalfHeight) * box.height * zoom;
}

ScreenPanel ScreenPanelFor(const SessionTrace& trace) {
    const bool known = trace.screenWidth > 0 && trace.screenHeight > 0;
    const double aspect = known ? double(trace.screenWidth) / trace.screenHeight : kStageHalfWidth / kStageHalfHeight;
    int width = kColumnWidth, height = Round(kColumnWidth / aspect);
    if (height > kScreenMaxHeight) height = kScreenMaxHeight, width = Round(kScreenMaxHeight * aspect);

    // How far from the centre the marker went, as a share of the half screen.
    double reach = 0;
    const auto include = [&](double stageX, double stageY) {
        reach = std::max(
            {reach, std::fabs(ClampX(stageX)) / kStageHalfWidth, std::fabs(ClampY(stageY)) / kStageHalfHeight});
    };
    for (const FrameRecord& frame : trace.frames)
        if (MarkerPlaced(frame)) include(frame.markerX, frame.markerY);
    for (const LockEvent& event : LockEvents(trace)) include(event.stageX, event.stageY);
    int zoom = 1;
    while (zoom < kMaxZoom && reach * zoom * 2 <= kZoomFill) zoom *= 2;
    return {{kColumnX, kScreenTop, width, height}, known, zoom};
}

std::vector<LockEvent> LockEvents(const SessionTrace& trace) {
    std::vector<LockEvent> events;
    std::string held;
    double lastX = 0, lastY = 0;  // where the marker last was for the held target
    for (const FrameRecord& frame : trace.frames) {
        if (frame.target != held) {
            if (frame.target.empty())
                events.push_back({LockEvent::Kind::kRelease, frame.frame, held, lastX, lastY});
            else
                events.push_back({held.empty() ? LockEvent::Kind::kLock : LockEvent::Kind::kSwitch, frame.frame,
                                  frame.target, frame.markerX, frame.markerY});
            held = frame.target;
            lastX = frame.markerX, lastY = frame.markerY;
        }
        if (MarkerPlaced(frame)) lastX = frame.markerX, lastY = frame.markerY;
    }
    return events;
}

Canvas PaintSession(const SessionTrace& trace) {
    Canvas canvas(kWidth, kHeight, kBackground);
    canvas.Text(kMargin, 18, "VELDRIN - " + trace.title, kInk, kTitleScale);
    std::map<std::string, Color> targetColor;
    for (const FrameRecord& frame : trace.frames)
        if (!frame.target.empty() && !targetColor.count(frame.target))
            targetColor[frame.target] = kTargetColors[targetColor.size() % std::size(kTargetColors)];
    const std::vector<LockEvent> events = LockEvents(trace);
    DrawMap(canvas, trace, targetColor);
    const int screenBottom = DrawScreen(canvas, trace, events);
    DrawColumn(canvas, trace, events, targetColor, screenBottom);
    return canvas;
}

bool DrawSession(const SessionTrace& trace, const std::string& pngPath) { return PaintSession(trace).SavePng(pngPath); }

}  // namespace sim
