#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "host/Host.h"
#include "support/WorldFixture.h"
#include "targeting/Commands.h"

namespace {

constexpr std::uint32_t kKeyC = 46, kKeyV = 47;

TEST(KeyCodes, OneNumberingForEveryDevice) {
    EXPECT_EQ(KeyCodeFor(host::kDeviceKeyboard, 46), 46u);
    EXPECT_EQ(KeyCodeFor(host::kDeviceMouse, 0), 256u);
    EXPECT_EQ(KeyCodeFor(host::kDeviceMouse, 2), 258u);
    EXPECT_EQ(KeyCodeFor(host::kDeviceGamepad, 0x1000), 276u);  // A
    EXPECT_EQ(KeyCodeFor(host::kDeviceGamepad, 0x0003), kInvalidKeyCode) << "two buttons at once";
    EXPECT_EQ(KeyCodeFor(7, 123), 123u) << "unknown devices pass the code through";
    const std::uint32_t masks[] = {0x1,   0x2,   0x4,    0x8,    0x10,   0x20,   0x40, 0x80,
                                   0x100, 0x200, 0x1000, 0x2000, 0x4000, 0x8000, 9,    10};
    KeyCode expected = 266;
    for (std::uint32_t mask : masks) EXPECT_EQ(MapGamepadButton(mask), expected++) << mask;
    EXPECT_EQ(MapGamepadButton(0x0400), kInvalidKeyCode);
    EXPECT_EQ(MapGamepadButton(0), kInvalidKeyCode);
}

// The player stands at the origin looking along +y, camera at (0, 0, 120).
class Commands : public test::WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        lock = std::make_unique<TargetLock>();
    }
    void Press(std::uint32_t device, std::uint32_t idCode, float value = 1.0f, float held = 0.0f) {
        sim::InputChain chain;
        chain.Button(device, idCode, value, held);
        Send(chain);
    }
    void Send(const sim::InputChain& chain) {
        host::InputEvent* first = chain.First();
        HandleTargetInput(*lock, &first);
    }
    void PressLock() { Press(host::kDeviceKeyboard, kKeyC); }
    void PressSwitch() { Press(host::kDeviceKeyboard, kKeyV); }
    sim::SimActor& Ahead(float x, float y = 500) { return AddActor({x, y, 20}); }
    host::ActorHandle Target() const { return lock->targetHandle; }
    std::vector<host::ActorHandle> Visited() const {
        std::vector<host::ActorHandle> handles(lock->visitedSet.begin(), lock->visitedSet.end());
        std::sort(handles.begin(), handles.end());
        return handles;
    }

    std::unique_ptr<TargetLock> lock;
};

TEST_F(Commands, LockKeyLocksTheBestCandidateWithACueAndReleasesOnTheNextPress) {
    Ahead(150);
    sim::SimActor& best = Ahead(10);
    PressLock();
    EXPECT_EQ(Target(), best.handle);
    EXPECT_EQ(Visited(), std::vector<host::ActorHandle>{best.handle});
    ASSERT_EQ(world->session.sounds.size(), 1u);
    EXPECT_EQ(world->session.sounds[0].sound, &sim::TheGame().lockCueSound);
    EXPECT_EQ(world->session.sounds[0].flags, 0u);
    EXPECT_EQ(world->session.sounds[0].position.y, world->Player().position.y);
    EXPECT_EQ(world->session.sounds[0].node, world->Player().root.get());

    PressLock();
    EXPECT_EQ(Target(), host::EmptyHandle());
    EXPECT_TRUE(lock->visitedSet.empty());
    EXPECT_EQ(world->session.sounds.size(), 1u) << "releasing plays nothing";
    EXPECT_EQ(lock->stateLock.owner, 0);
    ExpectReferencesBalanced();
}

TEST_F(Commands, OnlyTheFirstFrameOfAPressActs) {
    Ahead(0);
    Press(host::kDeviceKeyboard, kKeyC, 1.0f, 0.1f);  // held
    Press(host::kDeviceKeyboard, kKeyC, 0.0f, 0.0f);  // released
    EXPECT_EQ(Target(), host::EmptyHandle());
    PressLock();
    EXPECT_NE(Target(), host::EmptyHandle());
}

TEST_F(Commands, NoCandidateMeansNoLockAndNoCue) {
    PressLock();
    Ahead(0, -500);  // behind the player
    PressLock();
    EXPECT_EQ(Target(), host::EmptyHandle());
    EXPECT_TRUE(world->session.sounds.empty());
}

TEST_F(Commands, KeysFromEveryDeviceMatchTheirSetting) {
    Ahead(0);
    gSettings.LockKeyCode = 256;  // left mouse button
    Press(host::kDeviceMouse, 0);
    EXPECT_NE(Target(), host::EmptyHandle());

    gSettings.LockKeyCode = 276;  // gamepad A
    Press(host::kDeviceGamepad, 0x1000);
    EXPECT_EQ(Target(), host::EmptyHandle());
    Press(host::kDeviceGamepad, 0x1003);  // not a single button
    EXPECT_EQ(Target(), host::EmptyHandle());

    gSettings.LockKeyCode = 500;  // beyond every device: never triggers
    Press(host::kDeviceKeyboard, 500);
    Press(7, 500);
    EXPECT_EQ(Target(), host::EmptyHandle());
}

TEST_F(Commands, ALockKeyThatIsAlsoTheSwitchKeyOnlyToggles) {
    Ahead(0);
    Ahead(100);
    gSettings.SwitchTargetKeyCode = gSettings.LockKeyCode;
    PressLock();
    const host::ActorHandle first = Target();
    PressLock();
    EXPECT_EQ(Target(), host::EmptyHandle());
    PressLock();
    EXPECT_EQ(Target(), first);
}

TEST_F(Commands, ChainsOfMixedEventsAreWalkedInOrder) {
    Ahead(0);
    sim::InputChain chain;
    chain.Other(1)
        .Button(host::kDeviceKeyboard, 30)
        .Thumbstick(host::kLeftThumbstick, 0.9f, 0.9f)
        .Button(host::kDeviceKeyboard, kKeyC)
        .Thumbstick(host::kRightThumbstick, -0.5f, 0.25f);
    Send(chain);
    EXPECT_NE(Target(), host::EmptyHandle());
    EXPECT_EQ(LockState.rightStickX, -0.5f);
    EXPECT_EQ(LockState.rightStickY, 0.25f);

    HandleTargetInput(*lock, nullptr);
    host::InputEvent* none = nullptr;
    HandleTargetInput(*lock, &none);
    EXPECT_NE(Target(), host::EmptyHandle());
}

TEST_F(Commands, RightThumbstickIsKeptWhetherOrNotLocked) {
    sim::InputChain left;
    left.Thumbstick(host::kLeftThumbstick, 1.0f, 1.0f);
    Send(left);
    EXPECT_EQ(LockState.rightStickX, 0.0f);
    sim::InputChain right;
    right.Thumbstick(host::kRightThumbstick, 0.75f, -1.0f);
    Send(right);
    EXPECT_EQ(LockState.rightStickX, 0.75f);
    EXPECT_EQ(LockState.rightStickY, -1.0f);
}

TEST_F(Commands, SwitchWalksEveryCandidateThenRestartsPastTheCurrentTarget) {
    sim::SimActor& a = Ahead(0);
    sim::SimActor& b = Ahead(60);
    PressSwitch();  // nothing locked: nothing happens
    EXPECT_EQ(Target(), host::EmptyHandle());

    PressLock();
    EXPECT_EQ(Target(), a.handle);
    PressSwitch();
    EXPECT_EQ(Target(), b.handle);
    EXPECT_EQ(world->session.sounds.size(), 2u);

    PressSwitch();  // both given, current B: back to the best, A, with a fresh visited set
    EXPECT_EQ(Target(), a.handle);
    EXPECT_EQ(Visited(), std::vector<host::ActorHandle>{a.handle});

    // Both given and the current target A is again the best: B, and visited is {A, B}.
    lock->visitedSet = {a.handle, b.handle};
    const std::size_t cues = world->session.sounds.size();
    PressSwitch();
    EXPECT_EQ(Target(), b.handle);
    EXPECT_EQ(Visited(), (std::vector<host::ActorHandle>{a.handle, b.handle}));
    EXPECT_EQ(world->session.sounds.size(), cues + 1);

    sim::SimActor& c = Ahead(120);
    PressSwitch();
    EXPECT_EQ(Target(), c.handle) << "a newly seen candidate comes next";
    ExpectReferencesBalanced();
}

TEST_F(Commands, SwitchWithTheTargetAsTheOnlyCandidateKeepsItSilently) {
    sim::SimActor& only = Ahead(0);
    PressLock();
    const std::size_t cues = world->session.sounds.size();
    PressSwitch();
    EXPECT_EQ(Target(), only.handle);
    EXPECT_EQ(Visited(), std::vector<host::ActorHandle>{only.handle});
    EXPECT_EQ(world->session.sounds.size(), cues);

    world->conditions.hostBusy = true;  // no candidates at all: the lock stays
    PressSwitch();
    EXPECT_EQ(Target(), only.handle);
}

TEST_F(Commands, OnlyThePlayersDeathReleases) {
    sim::SimActor& target = Ahead(0);
    PressLock();
    host::TESDeathEvent targetDied{&target};
    HandlePlayerDeath(*lock, &targetDied);
    HandlePlayerDeath(*lock, nullptr);
    EXPECT_EQ(Target(), target.handle) << "the target's own death is for the per-frame check";
    host::TESDeathEvent playerDied{&world->Player()};
    HandlePlayerDeath(*lock, &playerDied);
    EXPECT_EQ(Target(), host::EmptyHandle());
}

TEST_F(Commands, TheCueFormIsLookedUpOnceAndNeverPlayedWithoutAPlayerModel) {
    Ahead(0);
    const int before = sim::TheGame().formLookups;  // another test may have looked it up already
    PressLock();
    PressLock();
    const int lookups = sim::TheGame().formLookups;
    EXPECT_LE(lookups - before, 1);
    PressLock();
    PressLock();
    EXPECT_EQ(sim::TheGame().formLookups, lookups);

    world->Player().loaded = false;
    const std::size_t cues = world->session.sounds.size();
    PressLock();
    EXPECT_NE(Target(), host::EmptyHandle());
    EXPECT_EQ(world->session.sounds.size(), cues);
}

}  // namespace
