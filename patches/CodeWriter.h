#pragma once
// Writing into the game's code and tables, and reading its memory without trusting it.
// Every write checks first, then changes all of its bytes or none, and gives every page
// back the protection it had. Each write answers what it replaced, or nothing when it
// wrote nothing: a refused protection, a site that is not what the patch expects.

#include <cstdint>
#include <optional>

#include "host/Instructions.h"

using CodeAddress = std::uintptr_t;

template <class Function>
CodeAddress AddressOf(Function* function) {
    return reinterpret_cast<CodeAddress>(function);
}

// Whether the bytes at `site` are readable and match `expected`.
bool SiteHolds(CodeAddress site, host::BytePattern expected);

// A replacement may be entered the moment it is written, on another thread, and continue
// in the original: a write given `keep` stores the original there before the new bytes can
// run (and 0 there when it writes nothing).

// Writes a 5-byte relative call or jump to `target` at `site` once the site is found to
// hold `expected`. Answers the destination of the relative instruction it replaced (the
// game's own callee or branch target), or nothing.
std::optional<CodeAddress> WriteRelativeCall(CodeAddress site, CodeAddress target, host::BytePattern expected,
                                             CodeAddress* keep = nullptr);
std::optional<CodeAddress> WriteRelativeJump(CodeAddress site, CodeAddress target, host::BytePattern expected,
                                             CodeAddress* keep = nullptr);

// Replaces the 4-byte virtual-table entry at `slot` by `replacement` when the entry holds
// the address of code (a table of the game's, not data that merely sits there). Answers
// the entry it replaced, or nothing.
std::optional<CodeAddress> ReplaceTableEntry(CodeAddress slot, CodeAddress replacement, CodeAddress* keep = nullptr);

// Whether [at, at + size) is committed, readable memory.
bool Readable(CodeAddress at, std::size_t size);
// One byte or one little-endian word of the game's memory, at any alignment: only after
// Readable has said yes.
unsigned char ByteAt(CodeAddress at);
CodeAddress WordAt(CodeAddress at);
