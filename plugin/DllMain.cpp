// The module's attach notification: learn our own file name, which names the log.

#include <windows.h>

#include "host/Callback.h"
#include "plugin/Framework.h"
#include "log/Log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[kPathBufferSize] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    // The name is a new string: a failed allocation leaves it empty (no log), never a crash
    // inside the loader.
    if (length != 0 && length < sizeof path) host::NeutralOnThrow([&] { ModuleName = ModuleStem(path); });
    return TRUE;
}
