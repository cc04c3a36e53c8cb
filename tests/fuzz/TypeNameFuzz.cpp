// The plugin reads a sink's run-time type name through memory it does not own: the sink,
// its table, the locator, the descriptor, the name. Here that memory is laid out from the
// input: a well-formed chain, then any of its links broken (null, onto a page that cannot
// be read, anywhere in a page of random bytes) and the name cut or left unterminated. The
// reader never faults, always answers, and names a well-formed chain exactly.

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz/FuzzInput.h"
#include "host/Instructions.h"
#include "host/MsvcAbi.h"
#include "host/PatchedRecords.h"
#include "sim/code/CodeSites.h"
#include "sim/game/Game.h"
#include "patches/ForcedBranchAPatch.h"
#include "patches/ForcedBranchBPatch.h"
#include "patches/FrameCallPatch.h"
#include "patches/FreezeFilterPatch.h"
#include "patches/SinkTypeName.h"
#include "patches/TargetUpdatePatch.h"

namespace {

constexpr std::size_t kPage = 0x1000;
constexpr std::size_t kLayout = 2 * kPage;  // readable; the page after it is not
// Where a well-formed chain puts each link.
constexpr std::size_t kSinkAt = 0, kVtableAt = 64, kLocatorAt = 128, kDescriptorAt = 256;
constexpr char kOtherModuleTypeInfo[4] = {};

std::uint8_t* Pages() {
    static std::uint8_t* const pages = [] {
        auto* at = static_cast<std::uint8_t*>(
            mmap(nullptr, kLayout + kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(at + kLayout, kPage, PROT_NONE);
        return at;
    }();
    return pages;
}

std::uintptr_t At(std::size_t offset) { return reinterpret_cast<std::uintptr_t>(Pages()) + offset; }

void PutWord(std::size_t offset, std::uintptr_t word) {
    const auto value = static_cast<std::uint32_t>(word);
    std::memcpy(Pages() + offset, &value, sizeof value);
}

// The link as it should be, or broken as the input says; true when it stayed whole.
bool Link(fuzz::Input& in, std::size_t at, std::uintptr_t target) {
    const std::uint16_t choice = in.Take<std::uint16_t>();
    switch (choice % 8) {
        case 0: PutWord(at, 0); return false;
        case 1: PutWord(at, At(kLayout + (choice >> 3) % kPage)); return false;                  // unreadable
        case 2: PutWord(at, At(kLayout / 2 + (choice >> 3) % (kLayout / 2 - 8))); return false;  // random bytes
        default: PutWord(at, target); return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    std::uint8_t* pages = Pages();
    std::memset(pages, 0, kLayout / 2);
    const std::size_t noise = in.Left() < kLayout / 2 ? in.Left() : kLayout / 2;
    std::memset(pages + kLayout / 2, 0xEE, kLayout / 2);
    std::memcpy(pages + kLayout / 2, in.Rest(), noise);  // random bytes where broken links may lead

    const bool freeze = in.Take<std::uint8_t>() & 1;
    std::string name = freeze ? ".?AVFreezeEventHandler@@" : ".?AUMenuWatcher@@";
    const std::uint8_t cut = in.Take<std::uint8_t>();
    const bool intact = cut % 4 != 0;
    if (!intact) name.resize(cut % name.size());
    // An unterminated name is put last on the readable pages: reading on runs into the next.
    const bool terminated = cut % 5 != 0;
    const std::size_t nameOffset = offsetof(host::MsvcTypeDescriptor, decoratedName);
    const std::size_t descriptorAt = terminated ? kDescriptorAt : kLayout - nameOffset - name.size();

    bool whole = Link(in, kSinkAt, At(kVtableAt));     // sink -> its table
    whole &= Link(in, kVtableAt - 4, At(kLocatorAt));  // the word before the table -> the locator
    whole &= Link(in, kLocatorAt + offsetof(host::MsvcCompleteObjectLocator, typeDescriptor), At(descriptorAt));
    const std::uint8_t owner = in.Take<std::uint8_t>() % 3;
    const void* typeInfo = owner == 0 ? static_cast<const void*>(sim::kHostTypeInfoVtable)
                           : owner == 1
                               ? static_cast<const void*>(kOtherModuleTypeInfo)
                               : reinterpret_cast<const void*>(static_cast<std::uintptr_t>(in.Take<std::uint32_t>()));
    PutWord(descriptorAt, reinterpret_cast<std::uintptr_t>(typeInfo));
    std::memcpy(pages + descriptorAt + nameOffset, name.data(), name.size());
    if (terminated) pages[descriptorAt + nameOffset + name.size()] = '\0';

    const std::string read = SinkTypeName(reinterpret_cast<void*>(At(kSinkAt)));
    fuzz::Require(!read.empty());
    if (whole && intact && terminated)
        fuzz::Require(read == (freeze ? "class FreezeEventHandler" : "struct MenuWatcher"));
    if (whole && !terminated) fuzz::Require(read == host::kNoTypeInformation);
    return 0;
}
