/* The target-update entry's replacement. The game's virtual-table slot, before and after:
       .long <the game's own entry>
       .long LockedTargetUpdate */

#include "host/CodeFacts.h"
#include "patches/Assembly.h"

    .intel_syntax noprefix
    .text

/* LockedTargetUpdate: called by the game as a method (object in ECX, one 4-byte stack
   argument, popped by the callee; byte result in AL). The decision is C++'s; this keeps
   the game's calling contract around it. */
    .globl SYMBOL(LockedTargetUpdate)
SYMBOL(LockedTargetUpdate):
    push ecx                                /* keep the object for a tail jump */
    push ecx                                /* LockedTargetDecide's one argument (cdecl) */
    call SYMBOL(LockedTargetDecide)         /* 0: answer false, 1: answer true, else: continue there */
    add esp, 4
    pop ecx
    cmp eax, 1
    ja 1f
    ret HOST_TARGET_UPDATE_ARGUMENT_BYTES   /* AL is the answer; the game's argument popped */
1:  jmp eax                                 /* the game's own entry: same object, argument, return */

#ifndef _WIN32
    .section .note.GNU-stack, "", @progbits  /* no executable stack */
#endif
