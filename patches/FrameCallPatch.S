/* The per-frame call's replacement. The game's site, before and after:
       call <the game's callee>        E8 rel32
       call FrameTrampoline            E8 rel32 */

#include "patches/Assembly.h"

    .intel_syntax noprefix
    .text

/* FrameTrampoline: ECX holds the game's object, [esp] the game's return address, the
   game's arguments lie above it. Runs the frame hook, then jumps (not calls) into the
   game's own callee, which so sees exactly the object, arguments and return address the
   game gave it. */
    .globl SYMBOL(FrameTrampoline)
SYMBOL(FrameTrampoline):
    push ecx                                /* keep the game's object across the hook */
    mov eax, dword ptr [SYMBOL(FrameHookTarget)]
    test eax, eax
    jz 1f
    lea edx, [esp + 4]                      /* the slot holding the game's return address (above ECX) */
    push edx                                /* hook argument 2 */
    push ecx                                /* hook argument 1: the game's object */
    call eax                                /* cdecl */
    add esp, 8                              /* drop both 4-byte hook arguments */
1:  pop ecx
    mov eax, dword ptr [SYMBOL(FrameHookNext)]
    jmp eax

#ifndef _WIN32
    .section .note.GNU-stack, "", @progbits  /* no executable stack */
#endif
