#pragma once
// The shell's path call, for the native build (see windows.h beside this file).

#include "windows.h"

BOOL PathRemoveFileSpecA(LPSTR path);
