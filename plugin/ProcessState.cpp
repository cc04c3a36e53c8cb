#include "plugin/ProcessState.h"

#include "host/Host.h"
#include "patches/ForcedBranchAPatch.h"
#include "patches/ForcedBranchBPatch.h"
#include "patches/FrameCallPatch.h"
#include "patches/FreezeFilterPatch.h"
#include "patches/TargetUpdatePatch.h"
#include "plugin/TarvekPlugin.h"
#include "settings/Settings.h"
#include "targeting/Commands.h"
#include "targeting/LockState.h"
#include "tracking/Tracking.h"

TarvekPlugin gPlugin;  // registers itself as the plugin instance

void ResetProcessState() {
    gSettings = PluginSettings();
    LockState = {};
    gLockCue = {};
    gScreenSize = {};
    FrameHookTarget = nullptr;
    FrameHookNext = 0;
    TargetUpdatePatch::savedSlotEntry = 0;
    ForcedBranchATakenAddress = ForcedBranchAFallThroughAddress = 0;
    ForcedBranchBTakenAddress = ForcedBranchBFallThroughAddress = 0;
    FreezeHandlerSaved.clear();
    FreezeFilterPatch::markerMenuName = host::FixedString();
    gFramework = {&gPlugin, nullptr, nullptr, 0};
    host::detail::tableResolved.store(false, std::memory_order_release);
}
