/* The game's code at the patch sites, as numbers both the C++ (host/Instructions.h,
   host/PatchedRecords.h) and the patches' hand-written x86 (the .S files under patches/) read: macros
   only, so that the assembler can include this file too. */
#ifndef VELDRIN_HOST_CODE_FACTS_H
#define VELDRIN_HOST_CODE_FACTS_H

/* 32-bit x86 relative transfers: one opcode byte, then a displacement counted from the
   end of the 5-byte instruction. */
#define HOST_OPCODE_CALL_RELATIVE 0xE8
#define HOST_OPCODE_JUMP_RELATIVE 0xE9
#define HOST_RELATIVE_INSTRUCTION_SIZE 5

/* Branch site A tests this bit of the byte at this offset of the object in ECX
   ("test byte ptr [ecx+0x729], 0x02" = F6 81 29 07 00 00 02) and branches when it is set. */
#define HOST_BRANCH_A_FLAGS_OFFSET 0x729
#define HOST_BRANCH_A_FLAG 0x02

/* The target-update entry is a method with one 4-byte stack argument, which it pops. */
#define HOST_TARGET_UPDATE_ARGUMENT_BYTES 4

#endif
