#pragma once
// The demo's picture of a session: left, the scene from above with the player's heading
// over time; right, the screen at its own aspect with the marker's path coloured by time
// and a numbered mark wherever the lock was taken, moved or let go.

#include <string>
#include <vector>

#include "sim/picture/Picture.h"
#include "sim/scenario/Scenario.h"

namespace sim {

struct Box {
    int x, y, width, height;
};

// A change of the lock, found from the record.
struct LockEvent {
    enum class Kind { kLock, kSwitch, kRelease };
    Kind kind;
    int frame;
    std::string target;  // the actor locked or switched to; for a release, the one let go
    // On the marker movie's stage: where the new target stood on the screen when it was
    // taken; for a release, where the marker last was.
    double stageX, stageY;
};
std::vector<LockEvent> LockEvents(const SessionTrace& trace);

// The screen panel: the display the game reported, at its own aspect, with the marker
// movie's stage (x -800..800, y -480..480, stretched over the whole screen) laid on it.
// The marker mostly stays near the centre, so the panel shows the screen's centre
// enlarged (2x, 4x or 8x) whenever everything the marker did fits there.
struct ScreenPanel {
    Box box;
    bool sizeKnown;  // false: the game reported no size, and the panel takes the stage's 5:3
    int zoom;        // 1: the whole screen
    double X(double stageX) const;
    double Y(double stageY) const;
};
ScreenPanel ScreenPanelFor(const SessionTrace& trace);

Canvas PaintSession(const SessionTrace& trace);

}  // namespace sim
