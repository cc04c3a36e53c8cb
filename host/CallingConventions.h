#pragma once

// The game is MSVC-built 32-bit code: methods take their object in ECX (thiscall),
// free functions are cdecl. Entry points in the host table are typed with these, and so is
// every virtual method the game calls: thiscall is a method's default only on Windows, and
// the native Linux build of the tests would otherwise pass the object on the stack.
#define HOST_THISCALL __attribute__((thiscall))
#define HOST_CDECL __attribute__((cdecl))
