/* For the patches' hand-written x86 (.S) only. C names carry a leading underscore on
   Windows and none on Linux (the native test build): SYMBOL gives both. A jump through a
   stored address goes through EAX ("mov eax, [x]", then "jmp eax"), which these routines
   may change anyway: clang's assembler reads "jmp dword ptr [x]" as a direct jump to x. */
/* Assembler text below, not C: */
/* clang-format off */
#ifndef VELDRIN_PATCHES_ASSEMBLY_H
#define VELDRIN_PATCHES_ASSEMBLY_H

#ifdef _WIN32
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

/* The common end of both forced branches, once the game's own condition has not branched:
   continue at [taken] when a target is locked, else at [fallThrough] (each a word holding
   the address). Changes only EAX and the flags: the C++ query may change ECX and EDX,
   which the game's code on either side still needs. The game's own branch, just before,
   jumps to this macro's "2:" ("jnz 2f"). */
.macro CONTINUE_WHILE_TARGET_LOCKED taken, fallThrough
    push ecx
    push edx
    call SYMBOL(IsTargetLocked)             /* AL: whether a target is locked */
    pop edx
    pop ecx
    test al, al
    jnz 2f
    mov eax, dword ptr [\fallThrough]
    jmp eax
2:  mov eax, dword ptr [\taken]
    jmp eax
.endm

#endif
