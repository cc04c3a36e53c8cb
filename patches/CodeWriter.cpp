#include "patches/CodeWriter.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr SIZE_T kWordSize = 4;
constexpr DWORD kAccessBits = 0xFF;  // the protection without PAGE_GUARD and the cache bits

// Makes [address, address + size) writable while it lives, all of it or none of it, and
// then gives every page back exactly the protection it had: a site may cross from one
// page to the next, and the two pages need not have had the same protection.
class WritableWindow {
public:
    WritableWindow(CodeAddress address, SIZE_T size) {
        for (CodeAddress at = address; at < address + size;) {
            MEMORY_BASIC_INFORMATION info;
            if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0 || info.State != MEM_COMMIT ||
                regionCount_ == kMaxRegions)
                return;
            const CodeAddress regionEnd = reinterpret_cast<CodeAddress>(info.BaseAddress) + info.RegionSize;
            regions_[regionCount_++] = {at, std::min<CodeAddress>(regionEnd, address + size) - at, info.Protect};
            at = regionEnd;
        }
        DWORD previous = 0;
        ok_ = VirtualProtect(reinterpret_cast<void*>(address), size, PAGE_EXECUTE_READWRITE, &previous) != 0;
    }
    ~WritableWindow() {
        if (!ok_) return;
        for (std::size_t i = 0; i < regionCount_; ++i) {
            DWORD ignored = 0;
            VirtualProtect(reinterpret_cast<void*>(regions_[i].from), regions_[i].size, regions_[i].protection,
                           &ignored);
        }
    }
    WritableWindow(const WritableWindow&) = delete;
    WritableWindow& operator=(const WritableWindow&) = delete;
    bool Ok() const { return ok_; }

private:
    // A site or a table entry is at most five bytes: it touches at most two pages.
    static constexpr std::size_t kMaxRegions = 2;
    struct Region {
        CodeAddress from;
        SIZE_T size;
        DWORD protection;
    };
    Region regions_[kMaxRegions] = {};
    std::size_t regionCount_ = 0;
    bool ok_ = false;
};

bool Executable(CodeAddress at) {
    MEMORY_BASIC_INFORMATION info;
    if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0 || info.State != MEM_COMMIT)
        return false;
    switch (info.Protect & kAccessBits) {
        case PAGE_EXECUTE:
        case PAGE_EXECUTE_READ:
        case PAGE_EXECUTE_READWRITE:
        case PAGE_EXECUTE_WRITECOPY: return true;
        default: return false;
    }
}

// Both halves of a relative instruction under one protection window: the opcode and the
// displacement are written together or not at all.
std::optional<CodeAddress> WriteRelative(std::uint8_t opcode, CodeAddress site, CodeAddress target,
                                         host::BytePattern expected, CodeAddress* keep) {
    if (keep != nullptr) *keep = 0;
    if (!SiteHolds(site, expected)) return std::nullopt;
    WritableWindow window(site, host::kRelativeInstructionSize);
    if (!window.Ok()) return std::nullopt;
    std::int32_t displacement = 0;
    std::memcpy(&displacement, reinterpret_cast<const void*>(site + 1), sizeof displacement);
    const CodeAddress original = site + host::kRelativeInstructionSize + static_cast<CodeAddress>(displacement);
    if (keep != nullptr) *keep = original;

    displacement = static_cast<std::int32_t>(target - (site + host::kRelativeInstructionSize));
    *reinterpret_cast<std::uint8_t*>(site) = opcode;
    std::memcpy(reinterpret_cast<void*>(site + 1), &displacement, sizeof displacement);
    FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(site), host::kRelativeInstructionSize);
    return original;
}

}  // namespace

bool SiteHolds(CodeAddress site, host::BytePattern expected) {
    if (site == 0 || !Readable(site, expected.size())) return false;
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (expected[i] != host::kAnyByte && ByteAt(site + i) != expected[i]) return false;
    return true;
}

std::optional<CodeAddress> WriteRelativeCall(CodeAddress site, CodeAddress target, host::BytePattern expected,
                                             CodeAddress* keep) {
    return WriteRelative(host::kOpcodeCallRelative, site, target, expected, keep);
}

std::optional<CodeAddress> WriteRelativeJump(CodeAddress site, CodeAddress target, host::BytePattern expected,
                                             CodeAddress* keep) {
    return WriteRelative(host::kOpcodeJumpRelative, site, target, expected, keep);
}

std::optional<CodeAddress> ReplaceTableEntry(CodeAddress slot, CodeAddress replacement, CodeAddress* keep) {
    if (keep != nullptr) *keep = 0;
    if (slot == 0 || !Readable(slot, kWordSize)) return std::nullopt;
    const CodeAddress original = WordAt(slot);
    if (!Executable(original)) return std::nullopt;
    WritableWindow window(slot, kWordSize);
    if (!window.Ok()) return std::nullopt;
    if (keep != nullptr) *keep = original;
    *reinterpret_cast<CodeAddress*>(slot) = replacement;
    return original;
}

bool Readable(CodeAddress at, std::size_t size) {
    const CodeAddress end = at + size;
    if (end < at) return false;  // runs past the end of the address space
    while (at < end) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0) return false;
        const DWORD access = info.Protect & kAccessBits;
        if (info.State != MEM_COMMIT || (info.Protect & PAGE_GUARD) || access == PAGE_NOACCESS ||
            access == PAGE_EXECUTE)
            return false;
        at = reinterpret_cast<CodeAddress>(info.BaseAddress) + info.RegionSize;
    }
    return true;
}

// Memory the game owns, read once VirtualQuery says it can be: at any alignment, and
// outside what any sanitizer of ours knows about (in the native test build the address may
// be anything readable, the sanitizer's own memory included).
__attribute__((no_sanitize_address)) unsigned char ByteAt(CodeAddress at) {
    return *reinterpret_cast<const volatile unsigned char*>(at);
}

__attribute__((no_sanitize_address)) CodeAddress WordAt(CodeAddress at) {
    return ByteAt(at) | CodeAddress{ByteAt(at + 1)} << 8 | CodeAddress{ByteAt(at + 2)} << 16 |
           CodeAddress{ByteAt(at + 3)} << 24;
}
