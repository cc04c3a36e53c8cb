#include "patches/FrameCallPatch.h"

#include "host/Host.h"

extern "C" {
FrameHook FrameHookTarget = nullptr;
CodeAddress FrameHookNext = 0;
}

bool FrameCallPatch::Install(FrameHook hook) {
    const host::HostTable* t = host::Table();
    const CodeAddress site = t ? t->FrameCallSite : 0;
    if (!SiteHolds(site, host::kFrameCallSiteBytes)) return false;
    FrameHookTarget = hook;
    // Already ours: the game's callee stays the one saved then.
    if (site + host::kRelativeInstructionSize + WordAt(site + 1) == AddressOf(&FrameTrampoline)) return true;
    // The callee is known before the call can reach the trampoline.
    return WriteRelativeCall(site, AddressOf(&FrameTrampoline), host::kFrameCallSiteBytes, &FrameHookNext).has_value();
}
