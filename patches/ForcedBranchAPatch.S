/* Branch site A's replacement. The game's site, before and after:
       test byte ptr [ecx+0x729], 0x02     F6 81 29 07 00 00 02
       jnz <taken>                         0F 85 rel32
   becomes
       jmp ForcedBranchA                   E9 rel32  (the test's last two bytes and the
                                                      jnz stay, never reached) */

#include "host/CodeFacts.h"
#include "patches/Assembly.h"

    .intel_syntax noprefix
    .text

/* Takes the branch as the game did, or whenever a target is locked. Changes only EAX and
   the flags: the game's code on either side still needs every other register. */
    .globl SYMBOL(ForcedBranchA)
SYMBOL(ForcedBranchA):
    test byte ptr [ecx + HOST_BRANCH_A_FLAGS_OFFSET], HOST_BRANCH_A_FLAG  /* the game's own test */
    jnz 2f
    CONTINUE_WHILE_TARGET_LOCKED SYMBOL(ForcedBranchATakenAddress), SYMBOL(ForcedBranchAFallThroughAddress)

#ifndef _WIN32
    .section .note.GNU-stack, "", @progbits  /* no executable stack */
#endif
