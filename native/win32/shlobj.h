#pragma once
// The shell's folder calls, for the native build (see windows.h beside this file).

#include "windows.h"

#define CSIDL_PERSONAL 5
#define SHGFP_TYPE_CURRENT 0
#define S_OK 0L
#define E_FAIL static_cast<HRESULT>(0x80004005L)

// The documents folder is $VELDRIN_DOCUMENTS, else /tmp/veldrin-native/Documents; as on
// Windows, the call fails when the folder does not exist.
HRESULT SHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);
int SHCreateDirectoryExA(HWND owner, LPCSTR path, SECURITY_ATTRIBUTES* attributes);
