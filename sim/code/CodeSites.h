#pragma once
// Real x86 code at every place the plugin patches: a per-frame routine with a relative
// call, a virtual table with the target-update entry, a routine with the two conditional
// branches, and event sinks whose tables carry Microsoft-layout type information. The code
// is written into fresh executable memory, so each world starts unpatched.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "host/Code.h"
#include "host/Events.h"
#include "host/HostTable.h"

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

class CodeSites {
public:
    CodeSites();
    ~CodeSites();
    CodeSites(const CodeSites&) = delete;
    CodeSites& operator=(const CodeSites&) = delete;

    // Writes the site addresses into the host table (and clears them when the sites go).
    void Publish(host::HostTable& table) const;
    static void Withdraw(host::HostTable& table);

    // Runs the per-frame routine: ECX = object, two stack arguments, then the call.
    void RunFrame(void* object, std::uint32_t first, std::uint32_t second);
    std::vector<FrameCalleeCall> calleeCalls;
    CodeAddress frameCallSite = 0;

    // Calls the target-update entry through its virtual table, as the game does.
    bool CallTargetUpdate(host::TargetUpdateObject& object, std::uint32_t argument);
    CodeAddress targetUpdateSlot = 0;
    bool ownTargetUpdateResult = false;  // what the game's own entry answers
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
    ForeignSink* MakeSink(const char* decoratedName, bool sharedFreezeTable = true);
    std::vector<ForeignSinkCall> sinkCalls;
    host::EventResult sinkResult = host::EventResult::kContinue;

private:
    CodeAddress branchRoutines_[2] = {};
    std::uint8_t* code_ = nullptr;
    std::uint8_t* data_ = nullptr;
    std::size_t dataUsed_ = 0;
    void** targetVtable_ = nullptr;
    void** freezeVtable_ = nullptr;
    std::deque<ForeignSink> sinks_;
    void* Allocate(std::size_t size);
    void** MakeVtable(const char* decoratedName);
};

// The game's side of type names: its type_info table, name list and name function.
extern const char kHostTypeInfoVtable[];
extern char hostTypeNameList[];
const char* HOST_CDECL HostTypeInfoName(const void* typeDescriptor, void* nameList);

inline constexpr char kFreezeHandlerDecorated[] = ".?AVFreezeEventHandler@@";

}  // namespace sim
