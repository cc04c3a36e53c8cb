#pragma once
// Menus, the menu manager, UI messages and Flash values.

#include <cstddef>
#include <cstdint>

#include "host/CallingConventions.h"
#include "host/Events.h"
#include "host/FixedString.h"

namespace host {

struct GFxMovieView;  // opaque: reached only through host calls
struct ScaleformManager;
struct UIMessageQueue;
class IMenu;
struct UIMessage;

using MenuCreator = IMenu* (*)();  // cdecl, the default for free functions

// UI message types the marker menu answers.
enum UIMessageType : std::uint32_t { kMessageOpen = 1, kMessageClose = 3, kMessageScaleformEvent = 6 };
inline constexpr std::uint32_t kMessageHandled = 0;
inline constexpr std::uint32_t kMessageIgnored = 2;

// Bits of a menu's flag word (IMenu::flags, at 10), which the game reads while the menu lives.
// The two under which the marker movie is hidden; the menu manager counts the open menus
// that carry each (pausingMenuCount, overlayHidingMenuCount).
inline constexpr std::uint32_t kMenuFlagPausesGame = 0x1;
inline constexpr std::uint32_t kMenuFlagHidesOverlays = 0x4000;
// The game keeps the menu's object when it closes instead of destroying it at once.
inline constexpr std::uint32_t kMenuFlagKeptWhenClosed = 0x2;
// The game may save while the menu is open; without it an open menu refuses saving.
inline constexpr std::uint32_t kMenuFlagAllowsSaving = 0x800;
// What the game does with this bit is not established (it is thought to concern the
// mouse cursor), so it is named by its value.
inline constexpr std::uint32_t kMenuFlagUnk10000 = 0x10000;

struct UIMessage {
    void* vtable;        // 00
    std::uint32_t type;  // 04
    void* data;          // 08
};
static_assert(offsetof(UIMessage, type) == 0x04);
static_assert(offsetof(UIMessage, data) == 0x08);

// The host's interface strings, each an interned menu name.
struct UIStringTable {
    std::uint8_t pad00[0x4C];  // 00
    FixedString gateMenu;      // 4C: while open, no scan and no tracking
    std::uint8_t pad50[0x04];  // 50
    FixedString blockingMenu;  // 54: while open, the marker menu is not opened
    std::uint8_t pad58[0x1C];  // 58
    FixedString triggerMenu;   // 74: its closing opens the marker menu
    std::uint8_t pad78[0x08];  // 78
};
static_assert(offsetof(UIStringTable, gateMenu) == 0x4C);
static_assert(offsetof(UIStringTable, blockingMenu) == 0x54);
static_assert(offsetof(UIStringTable, triggerMenu) == 0x74);
static_assert(sizeof(UIStringTable) == 0x80);

struct MenuTableEntry {
    FixedString name;      // 00
    IMenu* menu;           // 04
    MenuCreator creator;   // 08
    MenuTableEntry* next;  // 0C: 0 marks an empty bucket
};
static_assert(offsetof(MenuTableEntry, name) == 0x00);
static_assert(offsetof(MenuTableEntry, menu) == 0x04);
static_assert(offsetof(MenuTableEntry, creator) == 0x08);
static_assert(offsetof(MenuTableEntry, next) == 0x0C);
static_assert(sizeof(MenuTableEntry) == 0x10);

struct MenuTable {
    std::uint32_t unk00;          // 00
    std::uint32_t bucketCount;    // 04: a power of two
    std::uint32_t freeCount;      // 08
    std::uint32_t freeOffset;     // 0C
    MenuTableEntry* endSentinel;  // 10
    std::uint32_t unk14;          // 14
    MenuTableEntry* entries;      // 18
};
static_assert(offsetof(MenuTable, bucketCount) == 0x04);
static_assert(offsetof(MenuTable, endSentinel) == 0x10);
static_assert(offsetof(MenuTable, entries) == 0x18);
static_assert(sizeof(MenuTable) == 0x1C);

struct MenuManager {
    std::uint32_t unk00;                                     // 00
    BSTEventSource<MenuOpenCloseEvent> menuOpenCloseSource;  // 04: MenuOpenCloseSource
    std::uint8_t pad18[0x8C];                                // 18
    MenuTable menuTable;                                     // A4
    std::uint8_t padC0[0x08];                                // C0
    std::uint32_t pausingMenuCount;                          // C8: open menus with kMenuFlagPausesGame
    std::uint8_t padCC[0x0C];                                // CC
    std::uint32_t overlayHidingMenuCount;                    // D8: open menus with kMenuFlagHidesOverlays
};
static_assert(offsetof(MenuManager, menuOpenCloseSource) == 0x04);
static_assert(offsetof(MenuManager, menuTable) == 0xA4);
static_assert(offsetof(MenuManager, pausingMenuCount) == 0xC8);
static_assert(offsetof(MenuManager, overlayHidingMenuCount) == 0xD8);

// The game's menu base, in its object model: nine virtual slots in this order (slot 0 the
// deleting destructor), then the fields below. Slots the plugin does not override keep the
// game's own behaviour where it matters (slot 5 advances the movie, DrawMenu shows it,
// slot 8 hands the game the movie view) and do nothing otherwise.
class IMenu {
public:
    IMenu() = default;

    HOST_THISCALL virtual void* DeletingDestructor(std::uint32_t flags) = 0;      // 0
    HOST_THISCALL virtual void Accept(void* /*callback*/) {}                      // 1
    HOST_THISCALL virtual void Unknown2() {}                                      // 2
    HOST_THISCALL virtual void Unknown3() {}                                      // 3
    HOST_THISCALL virtual std::uint32_t HandleUIMessage(UIMessage* message);      // 4
    HOST_THISCALL virtual void AdvanceMovie(float interval, std::uint32_t time);  // 5: the game's own step
    HOST_THISCALL virtual void DrawMenu();                                        // 6
    HOST_THISCALL virtual void Unknown7() {}                                      // 7
    HOST_THISCALL virtual void InitMovie();                                       // 8: the game's own, with movieView

    std::uint32_t refCount = 1;                    // 04
    GFxMovieView* movieView = nullptr;             // 08
    std::uint8_t depth = kDefaultMenuDepth;        // 0C
    std::uint32_t flags = 0;                       // 10
    std::uint32_t inputContext = kNoInputContext;  // 14
    std::uint32_t attachment = 0;                  // 18: released with the menu when nonzero

    static constexpr std::uint8_t kDefaultMenuDepth = 3;
    static constexpr std::uint32_t kNoInputContext = 18;

protected:
    ~IMenu();  // releases the attachment and the movie
};

// FlashValue: the host's 16-byte value for movie calls.
struct FlashValue {
    void* objectInterface = nullptr;  // 00
    std::uint32_t type = 0;           // 04
    union {
        double number;
        void* data;
    } payload{};  // 08
};
static_assert(offsetof(FlashValue, type) == 0x04);
static_assert(offsetof(FlashValue, payload) == 0x08);
static_assert(sizeof(FlashValue) == 0x10);
inline constexpr std::uint32_t kFlashNumber = 3;
inline constexpr std::uint32_t kFlashManaged = 0x40;

static_assert(offsetof(IMenu, refCount) == 0x04);
static_assert(offsetof(IMenu, movieView) == 0x08);
static_assert(offsetof(IMenu, depth) == 0x0C);
static_assert(offsetof(IMenu, flags) == 0x10);
static_assert(offsetof(IMenu, inputContext) == 0x14);
static_assert(offsetof(IMenu, attachment) == 0x18);
static_assert(sizeof(IMenu) == 0x1C);

// The registered instance of a menu by its interned name, or null: the game's own lookup
// in the menu table (hash the name, walk its bucket's chain). A damaged table (a chain
// that loops) ends the walk rather than the game.
IMenu* LookupMenuByName(MenuManager* manager, const FixedString* name);

}  // namespace host
