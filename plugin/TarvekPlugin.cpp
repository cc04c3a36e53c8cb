#include "plugin/TarvekPlugin.h"

#include "host/Host.h"
#include "settings/Settings.h"
#include "ui/Registration.h"
#include "tracking/Patches.h"
#include "tracking/Tracking.h"

bool TarvekPlugin::OnQuery() {
    if (gFramework.scriptExtenderVersion < host::kMinScriptExtenderVersion) return false;
    gFramework.info->name = kPluginName;
    gFramework.info->version = kPluginVersion;
    return true;
}

bool TarvekPlugin::OnLoad() {
    SKSEPlugin::OnLoad();
    return true;
}

void TarvekPlugin::OnModLoaded() {
    // The tunables take their final values before anything that reads them is switched on.
    ReadSettings();
    FrameHookTarget = &UpdateTracking;
    FrameHookNext = HookFrameCall();
    if (RegisterTarvekMenu()) {
        if (host::EventSourceBase* menuEvents = host::MenuOpenCloseSource()) HookFreezeEventHandler(menuEvents);
    }
    InstallLockedTargetUpdate();
    InstallForcedBranches();
}
