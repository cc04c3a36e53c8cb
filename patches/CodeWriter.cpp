#include "tracking/Patches.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "host/Callback.h"
#include "host/Code.h"
#include "host/Host.h"
#include "targeting/LockState.h"
#include "ui/MenuName.h"

extern "C" {
FrameHook FrameHookTarget = nullptr;
CodeAddress FrameHookNext = 0;
CodeAddress ForcedBranchATakenAddress = 0;
CodeAddress ForcedBranchAFallThroughAddress = 0;
CodeAddress ForcedBranchBTakenAddress = 0;
CodeAddress ForcedBranchBFallThroughAddress = 0;
}

namespace {

constexpr SIZE_T kWordSize = 4;
constexpr char kFreezeHandlerClass[] = "class FreezeEventHandler";
constexpr std::size_t kMaxDecoratedName = 256;
constexpr std::uintptr_t kPageSize = 0x1000;

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
            VirtualProtect(reinterpret_cast<void*>(regions_[i].from), regions_[i].size, regions_[i].protection, &ignored);
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

// A 5-byte relative instruction opened for writing, under one protection window: it is
// written whole or not at all.
class RelativeSite {
public:
    explicit RelativeSite(CodeAddress site) : site_(site), window_(site, host::kRelativeInstructionSize) {}
    bool Ok() const { return window_.Ok(); }

    CodeAddress Destination() const {
        std::int32_t displacement = 0;
        std::memcpy(&displacement, reinterpret_cast<const void*>(site_ + 1), sizeof displacement);
        return site_ + host::kRelativeInstructionSize + static_cast<CodeAddress>(displacement);
    }

    void Write(std::uint8_t opcode, CodeAddress target) {
        const auto displacement = static_cast<std::int32_t>(target - (site_ + host::kRelativeInstructionSize));
        *reinterpret_cast<std::uint8_t*>(site_) = opcode;
        std::memcpy(reinterpret_cast<void*>(site_ + 1), &displacement, sizeof displacement);
        FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(site_), host::kRelativeInstructionSize);
    }

private:
    CodeAddress site_;
    WritableWindow window_;
};

template <class Function>
CodeAddress AddressOf(Function* function) {
    return reinterpret_cast<CodeAddress>(function);
}

// Replaces one 4-byte table entry; false when it stayed unwritable.
bool ReplaceEntry(CodeAddress slot, CodeAddress replacement) {
    WritableWindow window(slot, kWordSize);
    if (!window.Ok()) return false;
    *reinterpret_cast<CodeAddress*>(slot) = replacement;
    return true;
}

bool Readable(CodeAddress at, std::size_t size) {
    const CodeAddress end = at + size;
    if (end < at) return false;  // runs past the end of the address space
    while (at < end) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0) return false;
        const DWORD access = info.Protect & 0xFF;
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

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(address), &module);
    return module;
}

// The decorated name of a descriptor that is not the game's, read only as far as memory is
// readable and then undecorated by the plugin itself.
std::string ForeignTypeName(CodeAddress decoratedName) {
    std::string decorated;
    for (CodeAddress at = decoratedName; decorated.size() < kMaxDecoratedName; ++at) {
        if ((at % kPageSize == 0 || at == decoratedName) && !Readable(at, 1)) return {};
        const char c = static_cast<char>(ByteAt(at));
        if (c == '\0') return host::UndecorateTypeName(decorated);
        decorated.push_back(c);
    }
    return {};
}

CodeAddress VtableOf(void* object) { return *static_cast<CodeAddress*>(object); }

}  // namespace

FreezeHandlerEntries FreezeHandlerSaved;

extern "C" {

// For LockedTargetUpdate: 1 to answer true, 0 to answer false, otherwise the game's own
// entry to continue in.
CodeAddress LockedTargetDecide(host::TargetUpdateObject* object) {
    // The menu pointer and its handle are read once each: the menu may close meanwhile.
    const TargetLock* menu = ReadMarkerMenu();
    const host::ActorHandle target = menu != nullptr ? menu->targetHandle : host::EmptyHandle();
    if (menu == nullptr || target == host::EmptyHandle()) return LockState.savedSlotEntry;
    if (object->targetHandle == target) return 0;
    object->targetHandle = target;
    object->targetChanged = 1;
    return 1;
}

bool ForcedBranchTargetLocked() { return IsTargetLocked(); }

}  // extern "C"

CodeAddress WriteRelativeJump(CodeAddress site, CodeAddress target) {
    RelativeSite instruction(site);
    if (!instruction.Ok()) return site + host::kRelativeInstructionSize;
    const CodeAddress old = instruction.Destination();
    instruction.Write(host::kOpcodeJumpRelative, target);
    return old;
}

CodeAddress HookFrameCall() {
    const host::HostTable* t = host::Table();
    const CodeAddress site = t ? t->FrameCallSite : 0;
    if (site == 0) return 0;
    RelativeSite call(site);
    if (!call.Ok()) return site + host::kRelativeInstructionSize;
    // The callee is known before the call can reach the trampoline.
    FrameHookNext = call.Destination();
    call.Write(host::kOpcodeCallRelative, AddressOf(&FrameTrampoline));
    return FrameHookNext;
}

void InstallLockedTargetUpdate() {
    const host::HostTable* t = host::Table();
    if (t == nullptr || t->TargetUpdateSlot == 0) return;
    WritableWindow window(t->TargetUpdateSlot, kWordSize);
    if (!window.Ok()) {
        LockState.savedSlotEntry = 0;
        return;
    }
    auto* entry = reinterpret_cast<CodeAddress*>(t->TargetUpdateSlot);
    if (*entry == AddressOf(&LockedTargetUpdate)) return;  // never keep ourselves as the game's entry
    LockState.savedSlotEntry = *entry;  // known before the game can call the replacement
    *entry = AddressOf(&LockedTargetUpdate);
}

void InstallForcedBranches() {
    const host::HostTable* t = host::Table();
    if (t == nullptr) return;
    ForcedBranchATakenAddress = t->ForcedBranchATaken;
    ForcedBranchAFallThroughAddress = t->ForcedBranchAFallThrough;
    ForcedBranchBTakenAddress = t->ForcedBranchBTaken;
    ForcedBranchBFallThroughAddress = t->ForcedBranchBFallThrough;
    // A branch replacement jumps to both of its resume points: without either, its site stays the game's.
    if (t->ForcedBranchSiteA != 0 && t->ForcedBranchATaken != 0 && t->ForcedBranchAFallThrough != 0)
        WriteRelativeJump(t->ForcedBranchSiteA, AddressOf(&ForcedBranchA));
    if (t->ForcedBranchSiteB != 0 && t->ForcedBranchBTaken != 0 && t->ForcedBranchBFallThrough != 0)
        WriteRelativeJump(t->ForcedBranchSiteB, AddressOf(&ForcedBranchB));
}

std::string SinkTypeName(void* sink) {
    // Every link is a word of the game's memory, read only once its page is known to be
    // readable, and read at any alignment: a damaged object may point anywhere.
    const auto object = reinterpret_cast<CodeAddress>(sink);
    if (object == 0 || !Readable(object, kWordSize)) return host::kNoTypeInformation;
    const CodeAddress vtable = WordAt(object);
    if (vtable < kWordSize || !Readable(vtable - kWordSize, kWordSize)) return host::kNoTypeInformation;
    const CodeAddress typeInformation = WordAt(vtable - kWordSize);
    if (typeInformation == 0) return host::kNoTypeInformation;
    // This plugin's own objects carry the compiler's type information, not the game's layout.
    const HMODULE ours = ModuleOf(reinterpret_cast<const void*>(&SinkTypeName));
    if (ours != nullptr && ModuleOf(reinterpret_cast<const void*>(vtable)) == ours)
        return reinterpret_cast<const std::type_info*>(typeInformation)->name();

    const CodeAddress locator = typeInformation;
    if (!Readable(locator, sizeof(host::MsvcCompleteObjectLocator))) return host::kNoTypeInformation;
    const CodeAddress descriptor = WordAt(locator + offsetof(host::MsvcCompleteObjectLocator, typeDescriptor));
    if (descriptor == 0 || !Readable(descriptor, offsetof(host::MsvcTypeDescriptor, decoratedName)))
        return host::kNoTypeInformation;
    const host::HostTable* t = host::Table();
    std::string name;
    const CodeAddress descriptorTable = WordAt(descriptor + offsetof(host::MsvcTypeDescriptor, typeInfoVtable));
    if (t && t->HostTypeInfoVtable && descriptorTable == reinterpret_cast<CodeAddress>(t->HostTypeInfoVtable)) {
        const char* hostName = host::CallOr<&host::HostTable::HostTypeInfoName>(
            static_cast<const char*>(nullptr), reinterpret_cast<const void*>(descriptor), t->HostTypeNameList);
        if (hostName) name = hostName;
    } else {
        name = ForeignTypeName(descriptor + offsetof(host::MsvcTypeDescriptor, decoratedName));
    }
    return name.empty() ? std::string(host::kNoTypeInformation) : name;
}

namespace {

// Routes one FreezeEventHandler table through the filter. Its entry is saved before the
// table changes, so the filter always finds it; when the saving fails, nothing changes.
void FilterFreezeHandlerTable(CodeAddress vtable) {
    const CodeAddress slot = vtable + host::kReceiveEventSlot * kWordSize;
    const CodeAddress own = *reinterpret_cast<const CodeAddress*>(slot);
    // Two sinks may share one table: the filter is never saved as its own previous entry.
    if (own == AddressOf(&FreezeHandlerFilter)) return;
    CodeAddress& saved = FreezeHandlerSaved[vtable];  // may throw: then the table stays the game's
    saved = own;
    if (!ReplaceEntry(slot, AddressOf(&FreezeHandlerFilter))) saved = 0;
}

}  // namespace

void HookFreezeEventHandler(host::EventSourceBase* source) {
    if (source == nullptr) return;
    host::SpinLockGuard guard(source->lock);
    for (std::uint32_t index = 0; index < source->count; ++index) {
        void* sink = source->sinks[index];
        host::NeutralOnThrow([&] {
            if (SinkTypeName(sink) == kFreezeHandlerClass) FilterFreezeHandlerTable(VtableOf(sink));
        });
    }
}

host::EventResult HOST_THISCALL FreezeHandlerFilter(void* sink, host::MenuOpenCloseEvent* event, void* source) {
    const CodeAddress saved = host::NeutralOnThrow(CodeAddress{0}, [&]() -> CodeAddress {
        static const host::FixedString markerMenu(kMarkerMenuName);
        if (event != nullptr && markerMenu.Handle() != nullptr && event->menuName == markerMenu) return 0;
        const auto found = FreezeHandlerSaved.find(VtableOf(sink));
        return found == FreezeHandlerSaved.end() ? 0 : found->second;
    });
    if (saved == 0) return host::EventResult::kContinue;
    using ReceiveEvent = host::EventResult(HOST_THISCALL*)(void*, host::MenuOpenCloseEvent*, void*);
    return reinterpret_cast<ReceiveEvent>(saved)(sink, event, source);
}
