/* Replacement code reached only from patched game code. Each routine keeps the game's
   register and stack contract exactly, so it is written by hand. C names carry a leading
   underscore on Windows and none on Linux (the native test build): SYMBOL gives both.
   A jump through a stored address goes through EAX ("mov eax, [x]", then "jmp eax"), which
   these routines may change anyway: clang's assembler reads "jmp dword ptr [x]" as a
   direct jump to x itself. */

#ifdef _WIN32
#define SYMBOL(name) _##name
#else
#define SYMBOL(name) name
#endif

    .intel_syntax noprefix
    .text

/* FrameTrampoline: the game's per-frame call now lands here. ECX holds the game's object,
   [esp] the game's return address, the game's arguments lie above it. Runs the frame hook,
   then jumps (not calls) into the game's own callee, which so sees exactly the object,
   arguments and return address the game gave it. */
    .globl SYMBOL(FrameTrampoline)
SYMBOL(FrameTrampoline):
    push ecx                                /* keep the game's object across the hook */
    mov eax, dword ptr [SYMBOL(FrameHookTarget)]
    test eax, eax
    jz 1f
    lea edx, [esp + 4]                      /* the slot holding the game's return address */
    push edx                                /* hook argument 2 */
    push ecx                                /* hook argument 1: the game's object */
    call eax                                /* cdecl */
    add esp, 8                              /* drop both hook arguments */
1:  pop ecx
    mov eax, dword ptr [SYMBOL(FrameHookNext)]
    jmp eax

/* LockedTargetUpdate: called by the game as a method (object in ECX, one 4-byte stack
   argument, popped by the callee; byte result in AL). */
    .globl SYMBOL(LockedTargetUpdate)
SYMBOL(LockedTargetUpdate):
    push ecx                                /* keep the object for a tail jump */
    push ecx
    call SYMBOL(LockedTargetDecide)         /* 0: answer false, 1: answer true, else: continue there */
    add esp, 4
    pop ecx
    cmp eax, 1
    ja 1f
    ret 4                                   /* AL is the answer */
1:  jmp eax                                 /* the game's own entry: same object, argument, return */

/* ForcedBranchA replaces, at its site, "test byte ptr [ecx+1833], 2; jnz taken". It takes
   the branch as the game did, or whenever a target is locked. Changes only EAX and flags. */
    .globl SYMBOL(ForcedBranchA)
SYMBOL(ForcedBranchA):
    test byte ptr [ecx + 1833], 0x02        /* the game's own test */
    jnz 2f
    call TargetLockedKeepingRegisters
    test al, al
    jnz 2f
    mov eax, dword ptr [SYMBOL(ForcedBranchAFallThroughAddress)]
    jmp eax
2:  mov eax, dword ptr [SYMBOL(ForcedBranchATakenAddress)]
    jmp eax

/* ForcedBranchB replaces a "jnz taken" on flags the game set just before its site. */
    .globl SYMBOL(ForcedBranchB)
SYMBOL(ForcedBranchB):
    jnz 2f                                  /* the game's own not-equal */
    call TargetLockedKeepingRegisters
    test al, al
    jnz 2f
    mov eax, dword ptr [SYMBOL(ForcedBranchBFallThroughAddress)]
    jmp eax
2:  mov eax, dword ptr [SYMBOL(ForcedBranchBTakenAddress)]
    jmp eax

/* AL = whether a target is locked. Keeps every register but EAX (the C++ test may use ECX
   and EDX, which the game code around the branch sites still needs); changes the flags. */
TargetLockedKeepingRegisters:
    push ecx
    push edx
    call SYMBOL(ForcedBranchTargetLocked)
    pop edx
    pop ecx
    ret

#ifndef _WIN32
    .section .note.GNU-stack, "", @progbits  /* no executable stack */
#endif
