/* Branch site B's replacement. The game's site, before and after:
       jnz <taken>                         0F 85 rel32
   becomes
       jmp ForcedBranchB                   E9 rel32  (the jnz's last byte stays, never reached) */

#include "patches/Assembly.h"

    .intel_syntax noprefix
    .text

/* Takes the branch as the game did (its flags are still those it set before the site), or
   whenever a target is locked. Changes only EAX and the flags. */
    .globl SYMBOL(ForcedBranchB)
SYMBOL(ForcedBranchB):
    jnz 2f                                  /* the game's own not-equal */
    push ecx                                /* the C++ query may change ECX and EDX */
    push edx
    call SYMBOL(IsTargetLocked)             /* AL: whether a target is locked */
    pop edx
    pop ecx
    test al, al
    jnz 2f
    mov eax, dword ptr [SYMBOL(ForcedBranchBFallThroughAddress)]
    jmp eax
2:  mov eax, dword ptr [SYMBOL(ForcedBranchBTakenAddress)]
    jmp eax

#ifndef _WIN32
    .section .note.GNU-stack, "", @progbits  /* no executable stack */
#endif
