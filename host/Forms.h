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
    std::uint8_t bits[32];  // bit (type % 8) of byte (type / 8) set when that extra data exists
};

struct TESForm {
    void* vtable;              // 00
    std::uint8_t pad04[14];    // 04
    std::uint8_t formType;     // 12
    std::uint8_t pad13[5];     // 13
};
static_assert(offsetof(TESForm, formType) == 18);

struct TESActorBase : TESForm {};

struct BGSBodyPart {
    void* unk00;          // 00
    FixedString nodeName; // 04
};
static_assert(offsetof(BGSBodyPart, nodeName) == 4);

struct BGSBodyPartData {
    std::uint8_t pad00[44];  // 00
    BGSBodyPart* firstPart;  // 2C
};
static_assert(offsetof(BGSBodyPartData, firstPart) == 44);

// One per sex: the skeleton model; its path comes first.
struct RaceSkeletonModel {
    const char* path;        // 00
    std::uint8_t pad04[16];  // 04
};
static_assert(sizeof(RaceSkeletonModel) == 20);

struct TESRace : TESForm {
    std::uint8_t pad018[344 - sizeof(TESForm)];
    RaceSkeletonModel skeleton[2];  // 158: male, female
    std::uint8_t pad180[404 - 384];
    BGSBodyPartData* bodyPartData;  // 194
};
static_assert(offsetof(TESRace, skeleton) == 344);
static_assert(offsetof(TESRace, skeleton) + sizeof(RaceSkeletonModel) == 364);
static_assert(offsetof(TESRace, bodyPartData) == 404);

class TESObjectREFR : public TESForm {
public:
    std::uint32_t referenceWord;  // 18: low 10 bits count references
    std::uint8_t pad1C[8];        // 1C
    TESActorBase* baseForm;       // 24
    NiPoint3 rotation;            // 28: x pitch, y roll, z heading (radians)
    NiPoint3 position;            // 34
    std::uint8_t pad40[12];       // 40
    ExtraDataPresence* extraPresence;  // 4C
    std::uint8_t pad50[24];       // 50
};
static_assert(offsetof(TESObjectREFR, referenceWord) == 24);
static_assert(offsetof(TESObjectREFR, baseForm) == 36);
static_assert(offsetof(TESObjectREFR, rotation) == 40);
static_assert(offsetof(TESObjectREFR, position) == 52);
static_assert(offsetof(TESObjectREFR, extraPresence) == 76);
static_assert(sizeof(TESObjectREFR) == 104);

class Actor : public TESObjectREFR {
public:
    std::uint32_t stateWord;               // 68: ActorStateWord
    std::uint8_t pad6C[304 - 108];         // 6C
    TESRace* race;                         // 130
    std::uint8_t pad134[4];                // 134
    std::uint32_t flagWord;                // 138: ActorFlagWord
    std::uint8_t pad13C[4];                // 13C
};
static_assert(offsetof(Actor, stateWord) == 104);
static_assert(offsetof(Actor, race) == 304);
static_assert(offsetof(Actor, flagWord) == 312);

class PlayerCharacter : public Actor {};

struct ProcessLists {
    std::uint8_t pad00[40];       // 00
    ActorHandle* actorHandles;    // 28
    std::uint32_t capacity;       // 2C
    std::uint32_t actorCount;     // 30
};
static_assert(offsetof(ProcessLists, actorHandles) == 40);
static_assert(offsetof(ProcessLists, actorCount) == 48);

// The form the lock cue plays.
inline constexpr std::uint32_t kLockCueSoundFormId = 0x0006D1C6;

}  // namespace host
