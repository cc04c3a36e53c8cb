#pragma once

// The game is MSVC-built 32-bit code: methods take their object in ECX (thiscall),
// free functions are cdecl. Entry points in the host table are typed with these.
#define HOST_THISCALL __attribute__((thiscall))
#define HOST_CDECL __attribute__((cdecl))
