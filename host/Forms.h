#pragma once
// Game references, actors, races and the process lists.

#include <cstddef>
#include <cstdint>

#include "host/FixedString.h"
#include "host/Scene.h"

namespace host {

using ActorHandle = std::uint32_t;

inline constexpr std::uint8_t kFormTypeActor = 62;
inline constexpr std::uint32_t kReferenceCountMask = 0x3FF;  // low 10 bits of the reference word

// ActorFlagWord bits.
inline constexpr std::uint32_t kActorFlagHasExtraInteraction = 0x2;
inline constexpr std::uint32_t kActorFlagScanBlocked = 0x4000;
inline constexpr std::uint32_t kActorFlagEssential = 0x40000;
// ActorStateWord bits in which the player may not lock or keep a target.
inline constexpr std::uint32_t kActorStateLockBlocked = 0x3C000;
// Extra-data type tested by HasInteractionExtra, and where its presence bit sits.
inline constexpr std::uint32_t kExtraInteractionType = 169;

struct ExtraDataPresence {
    std::uint8_t bits[0x20];  // 00: bit (type % 8) of byte (type / 8) set when that extra data exists
};
static_assert(sizeof(ExtraDataPresence) == 0x20);

struct TESForm {
    void* vtable;              // 00
    std::uint8_t pad04[0x0E];  // 04
    std::uint8_t formType;     // 12
    std::uint8_t pad13[0x05];  // 13
};
static_assert(offsetof(TESForm, formType) == 0x12);
static_assert(sizeof(TESForm) == 0x18);

struct TESActorBase : TESForm {};

struct BGSBodyPart {
    void* unk00;           // 00
    FixedString nodeName;  // 04
};
static_assert(offsetof(BGSBodyPart, nodeName) == 0x04);

struct BGSBodyPartData {
    std::uint8_t pad00[0x2C];  // 00
    BGSBodyPart* firstPart;    // 2C
};
static_assert(offsetof(BGSBodyPartData, firstPart) == 0x2C);

// One per sex: the skeleton model; its path comes first.
struct RaceSkeletonModel {
    const char* path;          // 00
    std::uint8_t pad04[0x10];  // 04
};
static_assert(sizeof(RaceSkeletonModel) == 0x14);

struct TESRace : TESForm {
    std::uint8_t pad18[0x140];      // 18
    RaceSkeletonModel skeleton[2];  // 158: male; the female model at 16C
    std::uint8_t pad180[0x14];      // 180
    BGSBodyPartData* bodyPartData;  // 194
};
static_assert(offsetof(TESRace, skeleton) == 0x158);
static_assert(offsetof(TESRace, skeleton) + sizeof(RaceSkeletonModel) == 0x16C);
static_assert(offsetof(TESRace, bodyPartData) == 0x194);

class TESObjectREFR : public TESForm {
public:
    std::uint32_t referenceWord;       // 18: low 10 bits count references
    std::uint8_t pad1C[0x08];          // 1C
    TESActorBase* baseForm;            // 24
    NiPoint3 rotation;                 // 28: x pitch, y roll, z heading (radians)
    NiPoint3 position;                 // 34
    std::uint8_t pad40[0x0C];          // 40
    ExtraDataPresence* extraPresence;  // 4C
    std::uint8_t pad50[0x18];          // 50
};
static_assert(offsetof(TESObjectREFR, referenceWord) == 0x18);
static_assert(offsetof(TESObjectREFR, baseForm) == 0x24);
static_assert(offsetof(TESObjectREFR, rotation) == 0x28);
static_assert(offsetof(TESObjectREFR, position) == 0x34);
static_assert(offsetof(TESObjectREFR, extraPresence) == 0x4C);
static_assert(sizeof(TESObjectREFR) == 0x68);

class Actor : public TESObjectREFR {
public:
    std::uint32_t stateWord;    // 68: ActorStateWord
    std::uint8_t pad6C[0xC4];   // 6C
    TESRace* race;              // 130
    std::uint8_t pad134[0x04];  // 134
    std::uint32_t flagWord;     // 138: ActorFlagWord
    std::uint8_t pad13C[0x04];  // 13C
};
static_assert(offsetof(Actor, stateWord) == 0x68);
static_assert(offsetof(Actor, race) == 0x130);
static_assert(offsetof(Actor, flagWord) == 0x138);
static_assert(sizeof(Actor) == 0x140);

class PlayerCharacter : public Actor {};

struct ProcessLists {
    std::uint8_t pad00[0x28];   // 00
    ActorHandle* actorHandles;  // 28
    std::uint32_t capacity;     // 2C
    std::uint32_t actorCount;   // 30
};
static_assert(offsetof(ProcessLists, actorHandles) == 0x28);
static_assert(offsetof(ProcessLists, capacity) == 0x2C);
static_assert(offsetof(ProcessLists, actorCount) == 0x30);

// The form the lock cue plays.
inline constexpr std::uint32_t kLockCueSoundFormId = 0x0006D1C6;

}  // namespace host
