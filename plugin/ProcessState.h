#pragma once
// Every piece of the plugin's process-wide state, listed by the unit that owns it. The
// game loads the plugin once per process and never resets any of it; the tests play many
// sessions in one process and start each from ResetProcessState().
//
//   log/Log.cpp                    gDebugLog, gDebugLogLifetime, ModuleName
//   settings/Settings.cpp          gSettings
//   aimpoint/AimPointTable.cpp     gAimPointTable (built at load, never changed after)
//   targeting/LockState.cpp        LockState
//   targeting/Commands.cpp         gLockCue: the lock cue's sound form, looked up once
//   tracking/Tracking.cpp          gScreenSize: the display size, once the game knows it
//   patches/FrameCallPatch.cpp     FrameHookTarget, FrameHookNext
//   patches/TargetUpdatePatch.cpp  TargetUpdatePatch::savedSlotEntry
//   patches/ForcedBranchAPatch.cpp ForcedBranchATakenAddress, ForcedBranchAFallThroughAddress
//   patches/ForcedBranchBPatch.cpp ForcedBranchBTakenAddress, ForcedBranchBFallThroughAddress
//   patches/FreezeFilterPatch.cpp  FreezeHandlerSaved, FreezeFilterPatch::markerMenuName
//   plugin/Framework.cpp           gFramework
//   plugin/ProcessState.cpp        gPlugin (registers itself in gFramework when built)
//   host/Host.cpp                  the host table, resolved on first use
//
// A new piece of state is declared in its owner's header, added here, and given back its
// first value in ResetProcessState.

// Everything above as it was when the module was loaded, but the log (a test opens and
// closes it itself), the aim-point table (it never changes) and the plugin instance. The
// host table is resolved again on next use.
void ResetProcessState();
