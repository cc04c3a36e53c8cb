#pragma once
// A fresh stand-in world for each test, with the tunables and the lock record restored
// afterwards.

#include <gtest/gtest.h>

#include "settings/Settings.h"
#include "sim/game/Game.h"
#include "sim/game/Misuse.h"
#include "sim/game/World.h"
#include "support/Scenes.h"
#include "targeting/LockState.h"
#include "tracking/Tracking.h"

namespace test {

class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        world = &scenes::FreshWorld();
        savedSettings = gSettings;
    }
    void TearDown() override {
        // The world goes first, while the lock record still says which menu is open: its
        // menus are closed and destroyed as the game would do it.
        sim::DestroyWorld();
        for (const std::string& misuse : sim::TakeMisuses()) ADD_FAILURE() << "the stand-in game caught: " << misuse;
        gSettings = savedSettings;
        LockState = {};
    }

    // A hostile male humanoid whose aim node stands 100 units above `position`.
    sim::SimActor& AddActor(host::NiPoint3 position, sim::ActorSetup setup = {}) {
        setup.position = position;
        return world->AddActor(setup);
    }

    // Only the world's own reference is left on every actor.
    void ExpectReferencesBalanced() const {
        for (sim::SimActor* actor : world->Actors()) EXPECT_EQ(actor->References(), 1u) << "actor " << actor->handle;
    }

    sim::World* world = nullptr;
    PluginSettings savedSettings;
};

}  // namespace test
