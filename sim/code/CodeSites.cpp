#include "sim/code/CodeSites.h"

#include <windows.h>

#include <cstring>
#include <set>

#include "sim/game/StringPool.h"

namespace sim {

namespace {

constexpr std::size_t kPage = 0x1000;
constexpr std::size_t kCodePages = 2;   // the routines, then a page ending in the half-writable site
constexpr std::size_t kReservedPages = 4;  // the third stays reserved: its protection cannot change
constexpr std::size_t kTargetUpdateEntry = 2;

CodeSites* current = nullptr;

// Appends x86 machine code. Every routine below quotes its instructions beside the bytes.
class Emitter {
public:
    explicit Emitter(std::uint8_t* at) : at_(at) {}
    CodeAddress Here() const { return reinterpret_cast<CodeAddress>(at_); }
    Emitter& Bytes(std::initializer_list<std::uint8_t> bytes) {
        for (std::uint8_t b : bytes) *at_++ = b;
        return *this;
    }
    Emitter& Word(std::uint32_t word) {
        std::memcpy(at_, &word, sizeof word);
        at_ += sizeof word;
        return *this;
    }
    Emitter& Address(const void* address) { return Word(static_cast<std::uint32_t>(reinterpret_cast<CodeAddress>(address))); }
    // A displacement to `target` counted from the end of this 4-byte field.
    Emitter& Relative(CodeAddress target) { return Word(static_cast<std::uint32_t>(target - (Here() + 4))); }
    // A displacement to be filled in later by Bind.
    std::uint8_t* Hole() {
        std::uint8_t* hole = at_;
        at_ += 4;
        return hole;
    }
    static void Bind(std::uint8_t* hole, CodeAddress target) {
        const auto displacement = static_cast<std::uint32_t>(target - (reinterpret_cast<CodeAddress>(hole) + 4));
        std::memcpy(hole, &displacement, sizeof displacement);
    }

private:
    std::uint8_t* at_;
};

void HOST_THISCALL FrameCallee(void* self, std::uint32_t first, std::uint32_t second) {
    const auto returnAddress = reinterpret_cast<CodeAddress>(__builtin_return_address(0));
    if (current) current->calleeCalls.push_back({self, first, second, returnAddress});
}

bool HOST_THISCALL OwnTargetUpdate(host::TargetUpdateObject*, std::uint32_t) {
    if (current == nullptr) return false;
    ++current->ownTargetUpdateCalls;
    return current->ownTargetUpdateResult;
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
void EmitBranchPaths(Emitter& e, std::uint8_t* takenHole, CodeAddress& taken, CodeAddress& fallThrough,
                     BranchRegisters& registers) {
    fallThrough = e.Here();
    e.Bytes({0xB8}).Word(static_cast<std::uint32_t>(BranchPath::kFallThrough));
    e.Bytes({0xE9});
    std::uint8_t* doneHole = e.Hole();
    taken = e.Here();
    Emitter::Bind(takenHole, taken);
    e.Bytes({0xB8}).Word(static_cast<std::uint32_t>(BranchPath::kTaken));
    Emitter::Bind(doneHole, e.Here());
    EmitBranchEpilogue(e, registers);
}

}  // namespace

const char kHostTypeInfoVtable[4] = {};  // only its address matters
char hostTypeNameList[4];

const char* HOST_CDECL HostTypeInfoName(const void* typeDescriptor, void* nameList) {
    static auto* const names = new std::set<std::string>();  // names live as long as the game
    if (typeDescriptor == nullptr || nameList != hostTypeNameList) return nullptr;
    const auto* descriptor = static_cast<const host::MsvcTypeDescriptor*>(typeDescriptor);
    const std::string name = host::UndecorateTypeName(descriptor->decoratedName);
    return name.empty() ? nullptr : names->insert(name).first->c_str();
}

CodeSites::CodeSites() {
    current = this;
    code_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, kReservedPages * kPage, MEM_RESERVE, PAGE_NOACCESS));
    VirtualAlloc(code_, kCodePages * kPage, MEM_COMMIT, PAGE_READWRITE);
    data_ = static_cast<std::uint8_t*>(VirtualAlloc(nullptr, kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));

    Emitter e(code_);
    // Frame routine, cdecl (object, first, second):
    //   push ebp / mov ebp, esp / mov ecx, [ebp+8] / push [ebp+16] / push [ebp+12]
    //   call FrameCallee (thiscall: pops both) / pop ebp / ret
    e.Bytes({0x55, 0x89, 0xE5, 0x8B, 0x4D, 0x08, 0xFF, 0x75, 0x10, 0xFF, 0x75, 0x0C});
    frameCallSite = e.Here();
    e.Bytes({0xE8}).Relative(reinterpret_cast<CodeAddress>(&FrameCallee));
    e.Bytes({0x5D, 0xC3});

    // Branch routine A, cdecl (object): ECX = object, then at the site
    //   test byte ptr [ecx+1833], 2 / jnz taken
    branchRoutines_[0] = e.Here();
    EmitBranchPrologue(e);
    e.Bytes({0x8B, 0x4C, 0x24, 0x14});                 // mov ecx, [esp+20]
    e.Bytes({0x89, 0x25}).Address(&registers.espAtSite);
    branchSiteA = e.Here();
    e.Bytes({0xF6, 0x81}).Word(offsetof(host::BranchSiteAObject, flags)).Bytes({host::kBranchAFlag});
    e.Bytes({0x0F, 0x85});
    std::uint8_t* takenA = e.Hole();
    EmitBranchPaths(e, takenA, branchATaken, branchAFallThrough, registers);

    // Branch routine B, cdecl (left, right): ECX gets its sentinel, then
    //   mov eax, [esp+20] / cmp eax, [esp+24] / at the site: jnz taken
    branchRoutines_[1] = e.Here();
    EmitBranchPrologue(e);
    e.Bytes({0xB9}).Word(kSentinelEcx);
    e.Bytes({0x89, 0x25}).Address(&registers.espAtSite);
    e.Bytes({0x8B, 0x44, 0x24, 0x14, 0x3B, 0x44, 0x24, 0x18});
    branchSiteB = e.Here();
    e.Bytes({0x0F, 0x85});
    std::uint8_t* takenB = e.Hole();
    EmitBranchPaths(e, takenB, branchBTaken, branchBFallThrough, registers);

    // A call instruction whose displacement runs onto the reserved page.
    halfWritableSite = reinterpret_cast<CodeAddress>(code_) + kCodePages * kPage - 4;
    Emitter(reinterpret_cast<std::uint8_t*>(halfWritableSite)).Bytes({0xE8, 0, 0, 0});
    unwritableSite = reinterpret_cast<CodeAddress>(code_) + kCodePages * kPage;

    DWORD previous = 0;
    VirtualProtect(code_, kCodePages * kPage, PAGE_EXECUTE_READ, &previous);  // code is not writable, as in the game
    FlushInstructionCache(GetCurrentProcess(), code_, kCodePages * kPage);

    targetVtable_ = MakeVtable(nullptr);
    targetVtable_[kTargetUpdateEntry] = reinterpret_cast<void*>(&OwnTargetUpdate);
    targetUpdateSlot = reinterpret_cast<CodeAddress>(&targetVtable_[kTargetUpdateEntry]);
    VirtualProtect(data_, kPage, PAGE_READONLY, &previous);  // tables are read-only, as in the game
}

CodeSites::~CodeSites() {
    if (current == this) current = nullptr;
    VirtualFree(code_, 0, MEM_RELEASE);
    VirtualFree(data_, 0, MEM_RELEASE);
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

void* CodeSites::Allocate(std::size_t size) {
    const std::size_t aligned = (size + 7) & ~std::size_t{7};
    if (dataUsed_ + aligned > kPage) return nullptr;
    void* block = data_ + dataUsed_;
    dataUsed_ += aligned;
    return block;
}

// [locator][slot 0][slot 1][slot 2], with a Microsoft-layout locator and descriptor
// when a decorated name is given. Returns the table (slot 0).
void** CodeSites::MakeVtable(const char* decoratedName) {
    DWORD previous = 0;
    VirtualProtect(data_, kPage, PAGE_READWRITE, &previous);
    host::MsvcCompleteObjectLocator* locator = nullptr;
    if (decoratedName != nullptr) {
        auto* descriptor = static_cast<host::MsvcTypeDescriptor*>(
            Allocate(offsetof(host::MsvcTypeDescriptor, decoratedName) + std::strlen(decoratedName) + 1));
        descriptor->typeInfoVtable = kHostTypeInfoVtable;
        std::strcpy(descriptor->decoratedName, decoratedName);
        locator = static_cast<host::MsvcCompleteObjectLocator*>(Allocate(sizeof(host::MsvcCompleteObjectLocator)));
        *locator = {0, 0, 0, descriptor, nullptr};
    }
    auto** block = static_cast<void**>(Allocate(4 * sizeof(void*)));
    block[0] = locator;
    block[1] = reinterpret_cast<void*>(&SinkDeletingDestructor);
    block[2] = reinterpret_cast<void*>(&ForeignReceiveEvent);
    block[3] = nullptr;
    if (previous != 0) VirtualProtect(data_, kPage, previous, &previous);
    return block + 1;
}

ForeignSink* CodeSites::MakeSink(const char* decoratedName, bool sharedFreezeTable) {
    const bool freeze = decoratedName != nullptr && std::strcmp(decoratedName, kFreezeHandlerDecorated) == 0;
    void** vtable = freeze && sharedFreezeTable && freezeVtable_ ? freezeVtable_ : MakeVtable(decoratedName);
    if (freeze && sharedFreezeTable) freezeVtable_ = vtable;
    sinks_.push_back({vtable, static_cast<int>(sinks_.size()) + 1});
    return &sinks_.back();
}

void CodeSites::RunFrame(void* object, std::uint32_t first, std::uint32_t second) {
    reinterpret_cast<void (*)(void*, std::uint32_t, std::uint32_t)>(code_)(object, first, second);
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
