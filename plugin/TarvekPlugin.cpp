#include "plugin/TarvekPlugin.h"

#include "host/Host.h"
#include "settings/Settings.h"
#include "ui/Registration.h"
#include "patches/ForcedBranchAPatch.h"
#include "patches/ForcedBranchBPatch.h"
#include "patches/FrameCallPatch.h"
#include "patches/FreezeFilterPatch.h"
#include "patches/TargetUpdatePatch.h"
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
    // Each patch is installed whole or not at all, and one that cannot be (a page that
    // refuses protection, code this plugin does not know) leaves the others working.
    FrameCallPatch::Install(&UpdateTracking);
    if (RegisterTarvekMenu()) FreezeFilterPatch::Install(host::MenuOpenCloseSource());
    TargetUpdatePatch::Install();
    ForcedBranchAPatch::Install();
    ForcedBranchBPatch::Install();
}
