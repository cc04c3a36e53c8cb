#pragma once
// Real x86 code at every place the plugin patches: a per-frame routine with a relative
// call, a virtual table with the target-update entry, a routine with the two conditional
// branches, and event sinks whose tables carry Microsoft-layout type information.
//
// Each of these lives in a block of its own: a 64 KB view of one file mapping, written by
// the stand-in through a second, private view. A block's view is executable and
// read-only (code) or read-only (tables), as the game's are; a block can also be mapped so
// that no change of protection is ever allowed, as some pages of a real process refuse.
// CheckIntegrity tells afterwards whether the plugin left every page as it found it and
// every site whole.

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/Instructions.h"
#include "host/MsvcAbi.h"
#include "host/PatchedRecords.h"
#include "host/Events.h"
#include "host/HostTable.h"
#include "sim/game/Faults.h"

namespace sim {

using CodeAddress = std::uintptr_t;

struct FrameCalleeCall {
    void* object;
    std::uint32_t first;
    std::uint32_t second;
    CodeAddress returnAddress;
};

enum class BranchPath { kTaken = 1, kFallThrough = 2 };

// Registers the branch routines load with fixed values before their site, and what they
// held when the routine reached its end.
struct BranchRegisters {
    std::uint32_t ecx, edx, ebx, esi, edi, espAtSite, espAtEnd;
};
inline constexpr std::uint32_t kSentinelEcx = 0x5A5A0001, kSentinelEdx = 0x5A5A0002, kSentinelEbx = 0x5A5A0003,
                               kSentinelEsi = 0x5A5A0004, kSentinelEdi = 0x5A5A0005;

// A sink on the menu open/close source, as another game class would register it.
struct ForeignSink {
    void** vtable;
    int id;
};

struct ForeignSinkCall {
    int sinkId;
    const char* menuName;  // interned handle
    bool opening;
};

// Whose run-time type information a sink class carries: the game's own, or that of
// another module loaded into the game (its type_info table is not the game's).
enum class TypeInfoOwner { kGame, kOtherModule };

class CodeSites {
public:
    explicit CodeSites(RefusedSite refused = RefusedSite::kNone, StrangeSite strange = StrangeSite::kNone);
    ~CodeSites();
    CodeSites(const CodeSites&) = delete;
    CodeSites& operator=(const CodeSites&) = delete;

    // Writes the site addresses into the host table (and clears them when the sites go).
    void Publish(host::HostTable& table) const;
    static void Withdraw(host::HostTable& table);

    // Reports as misuse every page of the game's code or tables whose protection is not
    // what the game gave it, every byte changed outside the patch sites, every site left
    // half-written, and any change at all to a site whose pages refuse protection.
    void CheckIntegrity() const;
    // Which of the sites the plugin has changed, for people: "frame call, branch A, ...".
    std::string PatchedSites() const;

    // Runs the per-frame routine: ECX = object, two stack arguments, then the call.
    void RunFrame(void* object, std::uint32_t first, std::uint32_t second);
    std::vector<FrameCalleeCall> calleeCalls;
    CodeAddress frameCallSite = 0;  // its five bytes cross from one page to the next

    // Calls the target-update entry through its virtual table, as the game does. The
    // game's own entry gives the object `ownTarget` (and says whether that changed it).
    bool CallTargetUpdate(host::TargetUpdateObject& object, std::uint32_t argument);
    CodeAddress targetUpdateSlot = 0;
    host::ActorHandle ownTarget = 0;
    int ownTargetUpdateCalls = 0;

    BranchPath RunBranchA(host::BranchSiteAObject& object);
    BranchPath RunBranchB(std::uint32_t left, std::uint32_t right);  // branches when they differ
    BranchRegisters registers{};
    CodeAddress branchSiteA = 0, branchSiteB = 0;
    CodeAddress branchATaken = 0, branchAFallThrough = 0, branchBTaken = 0, branchBFallThrough = 0;

    // Two instruction sites the plugin cannot patch: one entirely on memory whose protection
    // cannot be changed, one whose displacement runs onto such memory.
    CodeAddress unwritableSite = 0;
    CodeAddress halfWritableSite = 0;

    // Sink classes on the menu open/close source. decoratedName null: no type information.
    ForeignSink* MakeSink(const char* decoratedName, bool sharedFreezeTable = true,
                          TypeInfoOwner owner = TypeInfoOwner::kGame);
    std::vector<ForeignSinkCall> sinkCalls;
    host::EventResult sinkResult = host::EventResult::kContinue;

private:
    enum Block : std::size_t { kFrameBlock, kBranchABlock, kBranchBBlock, kTargetTableBlock, kSinkTableBlock, kBlocks };
    struct BlockView {
        std::uint8_t* pen = nullptr;  // the stand-in's writable view of the block
        CodeAddress at = 0;           // where the game (and the plugin) see it
        bool code = false;
        bool refusesProtection = false;
        std::vector<std::uint8_t> pristine;  // the block as the game wrote it
    };
    // A part of a block the plugin may change: [from, from + size).
    struct Window {
        CodeAddress from;
        std::size_t size;
    };

    void MapBlocks(RefusedSite refused);
    void SealBlocks();
    std::uint8_t* Pen(Block block, CodeAddress address) const;
    // A change outside `windows` is misuse; `untouchedBecause` says why the block allows none.
    void CheckBlock(const BlockView& view, const std::vector<Window>& windows, const char* untouchedBecause) const;
    void** MakeVtable(const char* decoratedName, TypeInfoOwner owner);

    void* mapping_ = nullptr;
    std::uint8_t* penView_ = nullptr;
    std::array<BlockView, kBlocks> blocks_{};
    std::size_t sinkTableUsed_ = 0;
    CodeAddress branchRoutines_[2] = {};
    std::uint8_t* halfRegion_ = nullptr;
    StrangeSite strange_ = StrangeSite::kNone;
    void** targetVtable_ = nullptr;
    void** freezeVtable_ = nullptr;
    std::vector<CodeAddress> freezeSlots_;  // the ReceiveEvent entries the plugin may replace
    std::deque<ForeignSink> sinks_;
};

// The game's side of type names: its type_info table, name list and name function.
extern const char kHostTypeInfoVtable[];
extern char hostTypeNameList[];
const char* HOST_CDECL HostTypeInfoName(const void* typeDescriptor, void* nameList);

inline constexpr char kFreezeHandlerDecorated[] = ".?AVFreezeEventHandler@@";

}  // namespace sim
