// The module's attach notification: learn our own file name, which names the log.

#include <windows.h>

#include "plugin/Framework.h"
#include "plugin/Log.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[kPathBufferSize] = {};
    const DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length != 0 && length < sizeof path) ModuleName = ModuleStem(path);
    return TRUE;
}
