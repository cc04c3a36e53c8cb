// The plugin's process-wide objects, defined in one place so that they are constructed
// in this order (and destroyed in the reverse order at module unload).

#include "aimpoint/AimPointTable.h"
#include "plugin/Framework.h"
#include "plugin/Log.h"
#include "plugin/TarvekPlugin.h"
#include "settings/Settings.h"

PluginSettings gSettings;          // tunables with their defaults, before anyone reads them
TarvekPlugin gPlugin;              // registers itself as the plugin instance
AimPointTable gAimPointTable;      // interns its node names through the host
DebugLog gDebugLog;                // closed until the query opens it
DebugLogLifetime gDebugLogLifetime;  // tells the plugin's destructor, run later, that the log is gone
std::string ModuleName;            // filled by process attach
