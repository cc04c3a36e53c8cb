#pragma once
// The game's instructions the plugin rewrites: the opcodes it writes, and the bytes each
// patch site must hold before it is touched. A site holding anything else belongs to a
// build of the game this plugin does not know, and is left alone.

#include <array>
#include <cstdint>
#include <span>

#include "host/CodeFacts.h"

namespace host {

inline constexpr std::uint8_t kOpcodeCallRelative = HOST_OPCODE_CALL_RELATIVE;
inline constexpr std::uint8_t kOpcodeJumpRelative = HOST_OPCODE_JUMP_RELATIVE;
inline constexpr std::uintptr_t kRelativeInstructionSize = HOST_RELATIVE_INSTRUCTION_SIZE;

// One byte of an expected instruction sequence, or any byte (a displacement that differs
// from one load of the game to the next).
inline constexpr std::int16_t kAnyByte = -1;
using BytePattern = std::span<const std::int16_t>;

// The per-frame call site: "call rel32".
inline constexpr std::array<std::int16_t, 5> kFrameCallSiteBytes = {HOST_OPCODE_CALL_RELATIVE, kAnyByte, kAnyByte,
                                                                    kAnyByte, kAnyByte};

// Branch site A: "test byte ptr [ecx+0x729], 0x02", the branch on its result follows.
inline constexpr std::array<std::int16_t, 7> kBranchSiteABytes = {
    0xF6, 0x81, HOST_BRANCH_A_FLAGS_OFFSET & 0xFF, HOST_BRANCH_A_FLAGS_OFFSET >> 8, 0x00, 0x00, HOST_BRANCH_A_FLAG};

// Branch site B: "jnz rel32" (0F 85), on flags the game set just before.
inline constexpr std::array<std::int16_t, 6> kBranchSiteBBytes = {0x0F, 0x85, kAnyByte, kAnyByte, kAnyByte, kAnyByte};

}  // namespace host
