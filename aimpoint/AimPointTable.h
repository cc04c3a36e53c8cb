#pragma once
// Which node of a creature's loaded model to aim at, by the skeleton its race uses.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/FixedString.h"

struct AimPointRow {
    const char* skeletonPath;  // lowercase, backslash separators
    const char* nodeName;      // the game's node name, exactly
};

inline constexpr AimPointRow kAimPointRows[] = {
    {"actors\\character\\defaultmale.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\character\\defaultfemale.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\draugr\\draugrproject.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\spriggan\\spriggan.hkx", "NPC COM [COM ]"},
    {"actors\\draugr\\draugrskeletonproject.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\vampirelord\\vampirelord.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\hagraven\\hagravenproject.hkx", "NPC Spine1 [Spn1]"},
    {"actors\\dlc02\\benthiclurker\\benthiclurkerproject.hkx", "NPC Spine1 [Spn1]"},
    {"actors\\giant\\giantproject.hkx", "NPC Spine1 [Spn1]"},
    {"actors\\atronachfrost\\atronachfrostproject.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\dlc01\\vampirebrute\\vampirebruteproject.hkx", "NPC Spine1 [Spn1]"},
    {"actors\\troll\\trollproject.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\werewolfbeast\\werewolfbeastproject.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\witchlight\\witchlightproject.hkx", "Witchlight Body Lag"},
    {"actors\\ambient\\hare\\hareproject.hkx", "RabbitSpine1"},
    {"actors\\ambient\\chicken\\chickenproject.hkx", "Spine"},
    {"actors\\mudcrab\\mudcrabproject.hkx", "Mcrab_Body"},
    {"actors\\dlc02\\netch\\netchproject.hkx", "NetchPelvis [Pelv]"},
    {"actors\\dragon\\dragonproject.hkx", "NPC Hub01"},
    {"actors\\canine\\dogproject.hkx", "Canine_Spine3"},
    {"actors\\canine\\wolfproject.hkx", "Canine_Spine3"},
    {"actors\\falmer\\falmerproject.hkx", "NPC Spine1"},
    {"actors\\dlc02\\riekling\\rieklingproject.hkx", "NPC Spine1"},
    {"actors\\bear\\bearproject.hkx", "NPC Spine3"},
    {"actors\\chaurus\\chaurusproject.hkx", "Spine[Spn1]"},
    {"actors\\deer\\deerproject.hkx", "ElkSpine2"},
    {"actors\\dragonpriest\\dragon_priest.hkx", "DragPriestNPC Spine2 [Spn2]"},
    {"actors\\dwarvensteamcenturion\\steamproject.hkx", "NPC Spine2 [Spn2]"},
    {"actors\\dwarvenspherecenturion\\spherecenturion.hkx", "NPC Spine2"},
    {"actors\\atronachflame\\atronachflame.hkx", "FireAtronach_Spine2 [Spn2]"},
    {"actors\\atronachstorm\\atronachstormproject.hkx", "Torso Main"},
    {"actors\\goat\\goatproject.hkx", "Goat_Spine3"},
    {"actors\\horker\\horkerproject.hkx", "Horker_Head01"},
    {"actors\\horse\\horseproject.hkx", "HorseSpine3"},
    {"actors\\mammoth\\mammothproject.hkx", "Mammoth Spine 3"},
    {"actors\\sabrecat\\sabrecatproject.hkx", "Sabrecat_Spine[Spn3]"},
    {"actors\\skeever\\skeeverproject.hkx", "SpineUpperSpine"},
    {"actors\\cow\\highlandcowproject.hkx", "Spine3"},
    {"actors\\dlc01\\chaurusflyer\\chaurusflyer.hkx", "ChaurusFlyerPelvis [Pelv]"},
    {"actors\\dlc02\\boarriekling\\boarproject.hkx", "Boar_Spine3"},
    {"actors\\dlc02\\scrib\\scribproject.hkx", "Pelvis [Pelv]"},
    {"actors\\dlc02\\dwarvenballistacenturion\\ballistacenturion.hkx", "Pelvis"},
    {"actors\\dwarvenspider\\dwarvenspidercenturionproject.hkx", "DwarvenSpiderBody"},
    {"actors\\frostbitespider\\frostbitespiderproject.hkx", "Tail1"},
    {"actors\\icewraith\\icewraithproject.hkx", "IW Seg02"},
    {"actors\\slaughterfish\\slaughterfishproject.hkx", "SlaughterfishBody"},
    {"actors\\wisp\\wispproject.hkx", "Wisp Spine2"},
    {"actors\\dlc02\\hmdaedra\\hmdaedra.hkx", "NPC COM [COM ]"},
};

// Skeleton path -> interned node name. Built once through the host's string pool; each
// name is released when the table goes.
class AimPointTable {
public:
    AimPointTable();

    // The node name for an exact, already lowercased path; null when it is not a key.
    const host::FixedString* Find(std::string_view skeletonPath) const;
    std::size_t Size() const { return nodes_.size(); }

private:
    // Looked up by string_view, so a lookup never allocates.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
    };
    std::unordered_map<std::string, host::FixedString, PathHash, std::equal_to<>> nodes_;
};

extern AimPointTable gAimPointTable;

// The process-wide table's lookup.
const host::FixedString* LookupAimNode(std::string_view loweredSkeletonPath);
