/* Branch site B's replacement. The game's site, before and after:
       jnz <taken>                         0F 85 rel32
   becomes
       jmp ForcedBranchB                   E9 rel32  (the jnz's last byte stays, never reached) */

#include "patches/Assembly.h"

    .intel_syntax noprefix
    .text

/* Takes the branch as the game did (its flags are still those it set before the site), or
   whenever a target is locked. Changes only EAX and the flags (see CONTINUE_WHILE_TARGET_LOCKED). */
    .globl SYMBOL(ForcedBranchB)
SYMBOL(ForcedBranchB):
    jnz 2f                                  /* the game's own not-equal */
    CONTINUE_WHILE_TARGET_LOCKED SYMBOL(ForcedBranchBTakenAddress), SYMBOL(ForcedBranchBFallThroughAddress)

#ifndef _WIN32
    .section .note.GNU-stack, "", @progbits  /* no executable stack */
#endif
