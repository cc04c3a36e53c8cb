#include "sim/code/CodeSites.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "sim/game/Misuse.h"

namespace sim {

namespace {

constexpr std::size_t kPage = 0x1000;
constexpr std::size_t kBlockSize = 0x10000;  // a view's offset must be a multiple of this
constexpr std::size_t kTargetUpdateEntry = 2;
constexpr std::size_t kSlotSize = 4;
constexpr std::size_t kFrameRoutinePrologue = 12;
constexpr std::uint8_t kNop = 0x90;
// The call's opcode and three displacement bytes end one page; its last byte starts the next.
constexpr std::size_t kFrameCallOffset = kPage - 4;

CodeSites* current = nullptr;

// Appends x86 machine code: written through the stand-in's pen, laid out at the address
// the game runs it from. Every routine below quotes its instructions beside the bytes.
class Emitter {
public:
    Emitter(std::uint8_t* pen, CodeAddress at) : pen_(pen), at_(at) {}
    CodeAddress Here() const { return at_; }
    Emitter& Bytes(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) Put(&b, 1);
        return *this;
    }
    Emitter& Word(std::uint32_t word) {
        Put(&word, sizeof word);
        return *this;
    }
    Emitter& Address(const void* address) {
        return Word(static_cast<std::uint32_t>(reinterpret_cast<CodeAddress>(address)));
    }
    // A displacement to `target` counted from the end of this 4-byte field.
    Emitter& Relative(CodeAddress target) { return Word(static_cast<std::uint32_t>(target - (Here() + 4))); }

    // A displacement to be filled in later by Bind.
    struct Hole {
        std::uint8_t* pen;
        CodeAddress at;
    };
    Hole MakeHole() {
        const Hole hole{pen_, at_};
        Word(0);
        return hole;
    }
    static void Bind(Hole hole, CodeAddress target) {
        const auto displacement = static_cast<std::uint32_t>(target - (hole.at + 4));
        std::memcpy(hole.pen, &displacement, sizeof displacement);
    }

private:
    void Put(const void* bytes, std::size_t size) {
        std::memcpy(pen_, bytes, size);
        pen_ += size;
        at_ += size;
    }
    std::uint8_t* pen_;
    CodeAddress at_;
};

void HOST_THISCALL FrameCallee(void* self, std::uint32_t first, std::uint32_t second) {
    const auto returnAddress = reinterpret_cast<CodeAddress>(__builtin_return_address(0));
    if (current) current->calleeCalls.push_back({self, first, second, returnAddress});
}

// The game's own target choice: it hands the object the target it would pick itself.
bool HOST_THISCALL OwnTargetUpdate(host::TargetUpdateObject* object, std::uint32_t) {
    if (current == nullptr) return false;
    ++current->ownTargetUpdateCalls;
    if (object->targetHandle == current->ownTarget) return false;
    object->targetHandle = current->ownTarget;
    object->targetChanged = 1;
    return true;
}

void* HOST_THISCALL SinkDeletingDestructor(ForeignSink* self, std::uint32_t) { return self; }

host::EventResult HOST_THISCALL ForeignReceiveEvent(ForeignSink* self, host::MenuOpenCloseEvent* event, void*) {
    if (current == nullptr) return host::EventResult::kContinue;
    current->sinkCalls.push_back({self->id, event ? event->menuName.Handle() : nullptr, event && event->opening});
    return current->sinkResult;
}

// Stores the branch routines' registers into `registers` and returns to the caller:
//   mov [ecx..edi], reg / mov [espAtEnd], esp / pop ebp, edi, esi, ebx / ret
void EmitBranchEpilogue(Emitter& e, BranchRegisters& registers) {
    e.Bytes({0x89, 0x0D}).Address(&registers.ecx);
    e.Bytes({0x89, 0x15}).Address(&registers.edx);
    e.Bytes({0x89, 0x1D}).Address(&registers.ebx);
    e.Bytes({0x89, 0x35}).Address(&registers.esi);
    e.Bytes({0x89, 0x3D}).Address(&registers.edi);
    e.Bytes({0x89, 0x25}).Address(&registers.espAtEnd);
    e.Bytes({0x5D, 0x5F, 0x5E, 0x5B, 0xC3});
}

// push ebx, esi, edi, ebp; then EDX, EBX, ESI, EDI get their sentinels.
void EmitBranchPrologue(Emitter& e) {
    e.Bytes({0x53, 0x56, 0x57, 0x55});
    e.Bytes({0xBA}).Word(kSentinelEdx);
    e.Bytes({0xBB}).Word(kSentinelEbx);
    e.Bytes({0xBE}).Word(kSentinelEsi);
    e.Bytes({0xBF}).Word(kSentinelEdi);
}

// The two paths after a branch site: "taken: mov eax, 1" and "fall-through: mov eax, 2;
// jmp done", both ending at the epilogue.
void EmitBranchPaths(Emitter& e, Emitter::Hole takenHole, CodeAddress& taken, CodeAddress& fallThrough,
                     BranchRegisters& registers) {
    fallThrough = e.Here();
    e.Bytes({0xB8}).Word(static_cast<std::uint32_t>(BranchPath::kFallThrough));
    e.Bytes({0xE9});
    const Emitter::Hole doneHole = e.MakeHole();
    taken = e.Here();
    Emitter::Bind(takenHole, taken);
    e.Bytes({0xB8}).Word(static_cast<std::uint32_t>(BranchPath::kTaken));
    Emitter::Bind(doneHole, e.Here());
    EmitBranchEpilogue(e, registers);
}

std::string Hex(CodeAddress address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(address));
    return text;
}

bool Differs(const std::uint8_t* now, const std::uint8_t* before, std::size_t size) {
    return std::memcmp(now, before, size) != 0;
}

}  // namespace

const char kHostTypeInfoVtable[4] = {};  // only its address matters
char hostTypeNameList[4];
// Another module's type_info table: descriptors of its classes start with this instead.
const char kOtherModuleTypeInfoVtable[4] = {};

const char* HOST_CDECL HostTypeInfoName(const void* typeDescriptor, void* nameList) {
    static auto* const names = new std::set<std::string>();  // names live as long as the game
    if (typeDescriptor == nullptr || nameList != hostTypeNameList) return nullptr;
    const auto* descriptor = static_cast<const host::MsvcTypeDescriptor*>(typeDescriptor);
    if (descriptor->typeInfoVtable != kHostTypeInfoVtable) {
        ReportMisuse("the game's type-name function was handed a descriptor that is not the game's");
        return nullptr;
    }
    const std::string name = host::UndecorateTypeName(descriptor->decoratedName);
    return name.empty() ? nullptr : names->insert(name).first->c_str();
}

void CodeSites::MapBlocks(RefusedSite refused) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_EXECUTE_READWRITE | SEC_COMMIT, 0,
                                  static_cast<DWORD>(kBlocks * kBlockSize), nullptr);
    penView_ = static_cast<std::uint8_t*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0));
    const Block refusedBlock = refused == RefusedSite::kFrameCall          ? kFrameBlock
                               : refused == RefusedSite::kBranchA          ? kBranchABlock
                               : refused == RefusedSite::kBranchB          ? kBranchBBlock
                               : refused == RefusedSite::kTargetUpdateSlot ? kTargetTableBlock
                               : refused == RefusedSite::kFreezeSlot       ? kSinkTableBlock
                                                                           : kBlocks;
    for (std::size_t i = 0; i < kBlocks; ++i) {
        BlockView& view = blocks_[i];
        view.code = i == kFrameBlock || i == kBranchABlock || i == kBranchBBlock;
        view.refusesProtection = i == refusedBlock;
        // A view mapped without write access can never be made writable: VirtualProtect fails.
        // Tables may become executable too, as the game's image sections may.
        const DWORD access = (view.refusesProtection ? FILE_MAP_READ : FILE_MAP_WRITE) | FILE_MAP_EXECUTE;
        view.at = reinterpret_cast<CodeAddress>(
            MapViewOfFile(mapping_, access, 0, static_cast<DWORD>(i * kBlockSize), kBlockSize));
        view.pen = penView_ + i * kBlockSize;
    }
}

// The game's code is executable and read-only, its tables read-only, from here on.
void CodeSites::SealBlocks() {
    for (BlockView& view : blocks_) {
        DWORD previous = 0;
        VirtualProtect(reinterpret_cast<void*>(view.at), kBlockSize, view.code ? PAGE_EXECUTE_READ : PAGE_READONLY,
                       &previous);
        if (view.code) FlushInstructionCache(GetCurrentProcess(), reinterpret_cast<void*>(view.at), kBlockSize);
        view.pristine.assign(view.pen, view.pen + kBlockSize);
    }
}

std::uint8_t* CodeSites::Pen(Block block, CodeAddress address) const {
    return blocks_[block].pen + (address - blocks_[block].at);
}

CodeSites::CodeSites(RefusedSite refused, StrangeSite strange) : strange_(strange) {
    current = this;
    // Another build of the game: a one-byte no-op where the plugin expects its instruction.
    const auto strangeAt = [&](Emitter& e, StrangeSite site) {
        if (strange == site) e.Bytes({kNop});
    };
    MapBlocks(refused);

    // Frame routine, cdecl (object, first, second):
    //   push ebp / mov ebp, esp / mov ecx, [ebp+8] / push [ebp+16] / push [ebp+12]
    //   call FrameCallee (thiscall: pops both) / pop ebp / ret
    const BlockView& frame = blocks_[kFrameBlock];
    const std::size_t frameStart = kFrameCallOffset - kFrameRoutinePrologue;
    Emitter e(frame.pen + frameStart, frame.at + frameStart);
    e.Bytes({0x55, 0x89, 0xE5, 0x8B, 0x4D, 0x08, 0xFF, 0x75, 0x10, 0xFF, 0x75, 0x0C});
    frameCallSite = e.Here();
    strangeAt(e, StrangeSite::kFrameCall);
    e.Bytes({0xE8}).Relative(reinterpret_cast<CodeAddress>(&FrameCallee));
    e.Bytes({0x5D, 0xC3});

    // Branch routine A, cdecl (object): ECX = object, then at the site
    //   test byte ptr [ecx+1833], 2 / jnz taken
    const BlockView& a = blocks_[kBranchABlock];
    Emitter ea(a.pen, a.at);
    branchRoutines_[0] = ea.Here();
    EmitBranchPrologue(ea);
    ea.Bytes({0x8B, 0x4C, 0x24, 0x14});  // mov ecx, [esp+20]
    ea.Bytes({0x89, 0x25}).Address(&registers.espAtSite);
    branchSiteA = ea.Here();
    strangeAt(ea, StrangeSite::kBranchA);
    ea.Bytes({0xF6, 0x81}).Word(offsetof(host::BranchSiteAObject, flags)).Bytes({host::kBranchAFlag});
    ea.Bytes({0x0F, 0x85});
    EmitBranchPaths(ea, ea.MakeHole(), branchATaken, branchAFallThrough, registers);

    // Branch routine B, cdecl (left, right): ECX gets its sentinel, then
    //   mov eax, [esp+20] / cmp eax, [esp+24] / at the site: jnz taken
    const BlockView& b = blocks_[kBranchBBlock];
    Emitter eb(b.pen, b.at);
    branchRoutines_[1] = eb.Here();
    EmitBranchPrologue(eb);
    eb.Bytes({0xB9}).Word(kSentinelEcx);
    eb.Bytes({0x89, 0x25}).Address(&registers.espAtSite);
    eb.Bytes({0x8B, 0x44, 0x24, 0x14, 0x3B, 0x44, 0x24, 0x18});
    branchSiteB = eb.Here();
    strangeAt(eb, StrangeSite::kBranchB);
    eb.Bytes({0x0F, 0x85});
    EmitBranchPaths(eb, eb.MakeHole(), branchBTaken, branchBFallThrough, registers);

    // The target-update table: [locator][slot 0][slot 1][slot 2: the game's own entry].
    const BlockView& table = blocks_[kTargetTableBlock];
    auto** targetTable = reinterpret_cast<void**>(table.pen);
    targetTable[kTargetUpdateEntry + 1] = reinterpret_cast<void*>(&OwnTargetUpdate);
    targetVtable_ = reinterpret_cast<void**>(table.at) + 1;
    targetUpdateSlot = reinterpret_cast<CodeAddress>(&targetVtable_[kTargetUpdateEntry]);

    // A call instruction whose displacement runs onto a page that stays reserved.
    halfRegion_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE, PAGE_NOACCESS));
    VirtualAlloc(halfRegion_, kPage, MEM_COMMIT, PAGE_READWRITE);
    halfWritableSite = reinterpret_cast<CodeAddress>(halfRegion_) + kPage - 4;
    Emitter(halfRegion_ + kPage - 4, halfWritableSite).Bytes({0xE8, 0, 0, 0});
    unwritableSite = reinterpret_cast<CodeAddress>(halfRegion_) + kPage;
    DWORD previous = 0;
    VirtualProtect(halfRegion_, kPage, PAGE_EXECUTE_READ, &previous);

    SealBlocks();
}

CodeSites::~CodeSites() {
    if (current == this) current = nullptr;
    for (const BlockView& view : blocks_)
        if (view.at) UnmapViewOfFile(reinterpret_cast<void*>(view.at));
    if (penView_) UnmapViewOfFile(penView_);
    if (mapping_) CloseHandle(mapping_);
    VirtualFree(halfRegion_, 0, MEM_RELEASE);
}

void CodeSites::Publish(host::HostTable& table) const {
    table.FrameCallSite = frameCallSite;
    table.TargetUpdateSlot = targetUpdateSlot;
    table.ForcedBranchSiteA = branchSiteA;
    table.ForcedBranchSiteB = branchSiteB;
    table.ForcedBranchATaken = branchATaken;
    table.ForcedBranchAFallThrough = branchAFallThrough;
    table.ForcedBranchBTaken = branchBTaken;
    table.ForcedBranchBFallThrough = branchBFallThrough;
}

void CodeSites::Withdraw(host::HostTable& table) {
    table.FrameCallSite = table.TargetUpdateSlot = 0;
    table.ForcedBranchSiteA = table.ForcedBranchSiteB = 0;
    table.ForcedBranchATaken = table.ForcedBranchAFallThrough = 0;
    table.ForcedBranchBTaken = table.ForcedBranchBFallThrough = 0;
}

void CodeSites::CheckBlock(const BlockView& view, const std::vector<Window>& windows,
                           const char* untouchedBecause) const {
    const DWORD wanted = view.code ? PAGE_EXECUTE_READ : PAGE_READONLY;
    for (CodeAddress at = view.at; at < view.at + kBlockSize;) {
        MEMORY_BASIC_INFORMATION info{};
        if (VirtualQuery(reinterpret_cast<const void*>(at), &info, sizeof info) == 0) break;
        if (info.Protect != wanted)
            ReportMisuse("the game's " + std::string(view.code ? "code" : "table") + " page at " + Hex(at) +
                         " was left with protection " + Hex(info.Protect) + " instead of " + Hex(wanted));
        at = reinterpret_cast<CodeAddress>(info.BaseAddress) + info.RegionSize;
    }
    for (std::size_t i = 0; i < kBlockSize; ++i) {
        if (view.pen[i] == view.pristine[i]) continue;
        const CodeAddress at = view.at + i;
        const bool allowed = std::any_of(windows.begin(), windows.end(),
                                         [&](const Window& w) { return at >= w.from && at < w.from + w.size; });
        if (allowed) continue;
        ReportMisuse("the game's " + std::string(view.code ? "code" : "table") + " at " + Hex(at) + " was changed " +
                     (untouchedBecause != nullptr ? untouchedBecause : "outside any patch site"));
        return;
    }
}

void CodeSites::CheckIntegrity() const {
    // A site on pages that refuse protection, or holding code the plugin does not know, must
    // not change at all.
    const auto allowed = [&](Block block, std::vector<Window> windows, StrangeSite site = StrangeSite::kNone) {
        const char* untouchedBecause = blocks_[block].refusesProtection ? "although its page refuses protection"
                                       : site != StrangeSite::kNone && site == strange_
                                           ? "although its site holds code the plugin does not know"
                                           : nullptr;
        CheckBlock(blocks_[block], untouchedBecause != nullptr ? std::vector<Window>{} : windows, untouchedBecause);
    };
    // The frame call stays a call: only its displacement may change.
    allowed(kFrameBlock, {{frameCallSite + 1, 4}}, StrangeSite::kFrameCall);
    allowed(kBranchABlock, {{branchSiteA, host::kRelativeInstructionSize}}, StrangeSite::kBranchA);
    allowed(kBranchBBlock, {{branchSiteB, host::kRelativeInstructionSize}}, StrangeSite::kBranchB);
    allowed(kTargetTableBlock, {{targetUpdateSlot, kSlotSize}});
    std::vector<Window> freezeWindows;
    for (CodeAddress slot : freezeSlots_) freezeWindows.push_back({slot, kSlotSize});
    allowed(kSinkTableBlock, freezeWindows);

    for (const auto& [block, site] : {std::pair{kBranchABlock, branchSiteA}, std::pair{kBranchBBlock, branchSiteB}}) {
        const std::uint8_t* now = Pen(block, site);
        const std::uint8_t* before = blocks_[block].pristine.data() + (site - blocks_[block].at);
        const bool opcode = Differs(now, before, 1), displacement = Differs(now + 1, before + 1, 4);
        if (opcode != displacement)
            ReportMisuse("the branch site at " + Hex(site) + " was left half-written");
        else if (opcode && now[0] != host::kOpcodeJumpRelative)
            ReportMisuse("the branch site at " + Hex(site) + " was rewritten, but not as a jump");
    }
}

std::string CodeSites::PatchedSites() const {
    const auto changed = [&](Block block, CodeAddress at, std::size_t size) {
        return Differs(Pen(block, at), blocks_[block].pristine.data() + (at - blocks_[block].at), size);
    };
    std::string sites;
    const auto add = [&](bool patched, const std::string& name) {
        if (patched) sites += (sites.empty() ? "" : ", ") + name;
    };
    add(changed(kFrameBlock, frameCallSite, host::kRelativeInstructionSize), "frame call");
    add(changed(kTargetTableBlock, targetUpdateSlot, kSlotSize), "target-update entry");
    add(changed(kBranchABlock, branchSiteA, host::kRelativeInstructionSize), "branch A");
    add(changed(kBranchBBlock, branchSiteB, host::kRelativeInstructionSize), "branch B");
    const auto freezeTables = std::count_if(freezeSlots_.begin(), freezeSlots_.end(), [&](CodeAddress slot) {
        return changed(kSinkTableBlock, slot, kSlotSize);
    });
    add(freezeTables > 0, "FreezeEventHandler entry");
    return sites.empty() ? "none" : sites;
}

// [locator][slot 0][slot 1][slot 2], with a Microsoft-layout locator and descriptor
// when a decorated name is given. Returns the table (slot 0) as the game sees it.
void** CodeSites::MakeVtable(const char* decoratedName, TypeInfoOwner owner) {
    BlockView& view = blocks_[kSinkTableBlock];
    const auto allocate = [&](std::size_t size) -> CodeAddress {
        const std::size_t aligned = (size + 7) & ~std::size_t{7};
        if (sinkTableUsed_ + aligned > kBlockSize) return 0;
        const CodeAddress at = view.at + sinkTableUsed_;
        sinkTableUsed_ += aligned;
        return at;
    };
    const auto write = [&](CodeAddress at, const void* bytes, std::size_t size) {
        std::uint8_t* pen = Pen(kSinkTableBlock, at);
        std::memcpy(pen, bytes, size);
        std::memcpy(view.pristine.data() + (at - view.at), bytes, size);
    };
    CodeAddress locatorAt = 0;
    if (decoratedName != nullptr) {
        const std::size_t nameOffset = offsetof(host::MsvcTypeDescriptor, decoratedName);
        const CodeAddress descriptorAt = allocate(nameOffset + std::strlen(decoratedName) + 1);
        const void* typeInfoTable = owner == TypeInfoOwner::kGame ? kHostTypeInfoVtable : kOtherModuleTypeInfoVtable;
        write(descriptorAt, &typeInfoTable, sizeof typeInfoTable);
        write(descriptorAt + nameOffset, decoratedName, std::strlen(decoratedName) + 1);
        locatorAt = allocate(sizeof(host::MsvcCompleteObjectLocator));
        const host::MsvcCompleteObjectLocator locator{
            0, 0, 0, reinterpret_cast<const host::MsvcTypeDescriptor*>(descriptorAt), nullptr};
        write(locatorAt, &locator, sizeof locator);
    }
    const CodeAddress blockAt = allocate(4 * sizeof(void*));
    void* const entries[4] = {reinterpret_cast<void*>(locatorAt), reinterpret_cast<void*>(&SinkDeletingDestructor),
                              reinterpret_cast<void*>(&ForeignReceiveEvent), nullptr};
    write(blockAt, entries, sizeof entries);
    return reinterpret_cast<void**>(blockAt) + 1;
}

ForeignSink* CodeSites::MakeSink(const char* decoratedName, bool sharedFreezeTable, TypeInfoOwner owner) {
    const bool freeze = decoratedName != nullptr && std::strcmp(decoratedName, kFreezeHandlerDecorated) == 0;
    const bool shared = freeze && sharedFreezeTable && owner == TypeInfoOwner::kGame;
    void** vtable = shared && freezeVtable_ ? freezeVtable_ : MakeVtable(decoratedName, owner);
    if (shared) freezeVtable_ = vtable;
    // Any table of a class named FreezeEventHandler is one the plugin may patch.
    if (freeze) freezeSlots_.push_back(reinterpret_cast<CodeAddress>(&vtable[host::kReceiveEventSlot]));
    sinks_.push_back({vtable, static_cast<int>(sinks_.size()) + 1});
    return &sinks_.back();
}

void CodeSites::RunFrame(void* object, std::uint32_t first, std::uint32_t second) {
    reinterpret_cast<void (*)(void*, std::uint32_t, std::uint32_t)>(frameCallSite - kFrameRoutinePrologue)(
        object, first, second);
}

bool CodeSites::CallTargetUpdate(host::TargetUpdateObject& object, std::uint32_t argument) {
    using Entry = bool(HOST_THISCALL*)(host::TargetUpdateObject*, std::uint32_t);
    return reinterpret_cast<Entry>(targetVtable_[kTargetUpdateEntry])(&object, argument);
}

BranchPath CodeSites::RunBranchA(host::BranchSiteAObject& object) {
    return static_cast<BranchPath>(
        reinterpret_cast<std::uint32_t (*)(host::BranchSiteAObject*)>(branchRoutines_[0])(&object));
}

BranchPath CodeSites::RunBranchB(std::uint32_t left, std::uint32_t right) {
    return static_cast<BranchPath>(
        reinterpret_cast<std::uint32_t (*)(std::uint32_t, std::uint32_t)>(branchRoutines_[1])(left, right));
}

}  // namespace sim
