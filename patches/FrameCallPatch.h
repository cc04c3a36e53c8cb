#pragma once
// The game's per-frame call, routed through FrameTrampoline: once a frame the plugin's
// hook runs, then the game's own callee, exactly as the game called it.

#include "patches/CodeWriter.h"

// The routine the trampoline runs before the game's own callee: (the game's object, the
// address of the game's return-address slot).
using FrameHook = void (*)(void* hostObject, void* returnSlot);

extern "C" {
extern FrameHook FrameHookTarget;  // null: the trampoline goes straight on
extern CodeAddress FrameHookNext;  // the game's own callee of the per-frame call
void FrameTrampoline();            // FrameCallPatch.S: reached only from the patched call
}

struct FrameCallPatch {
    // Runs `hook` every frame from now on. False, and the site as it was, when the site is
    // not the call this plugin knows or its pages refuse to be written.
    static bool Install(FrameHook hook);
};
