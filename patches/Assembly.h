/* For the patches' hand-written x86 (.S) only. C names carry a leading underscore on
   Windows and none on Linux (the native test build): SYMBOL gives both. A jump through a
   stored address goes through EAX ("mov eax, [x]", then "jmp eax"), which these routines
   may change anyway: clang's assembler reads "jmp dword ptr [x]" as a direct jump to x. */
#ifndef VELDRIN_PATCHES_ASSEMBLY_H
#define VELDRIN_PATCHES_ASSEMBLY_H

#ifdef _WIN32
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

#endif
