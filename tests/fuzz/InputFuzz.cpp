// Random chains of input events from every device, delivered to the open marker menu as
// the game delivers them: every chain is handled, the lock is never left held, and the
// lock's own rule holds (a locked target is one the switch command has given).

#include <cstddef>
#include <cstdint>
#include <fstream>

#include "fuzz/FuzzInput.h"
#include "host/Host.h"
#include "plugin/TarvekPlugin.h"
#include "sim/game/World.h"
#include "targeting/LockState.h"
#include "ui/MenuName.h"
#include "ui/TarvekMenu.h"

namespace {

// One world for every input: actors in view, the plugin switched on, its menu open.
TarvekMenu& OpenMenu() {
    static TarvekMenu* const menu = [] {
        sim::World& world = sim::TheWorld();
        world.conditions.dataFolder = "/tmp/veldrin-native/fuzz-input-data";
        std::ofstream(world.conditions.dataFolder + "\\Interface\\TarvekMenu.swf") << "movie";
        for (int i = 0; i < 5; ++i) {
            sim::ActorSetup setup;
            setup.position = {-300.0f + 150.0f * static_cast<float>(i), 600.0f + 50.0f * static_cast<float>(i), 0};
            setup.hostile = i % 2 == 0;
            world.AddActor(setup);
        }
        gPlugin.OnModLoaded();
        world.OpenMenu(sim::kTriggerMenuName);
        world.CloseMenu(sim::kTriggerMenuName);
        world.RunFrame();
        return static_cast<TarvekMenu*>(world.OpenInstance(kMarkerMenuName));
    }();
    return *menu;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TarvekMenu& menu = OpenMenu();
    sim::World& world = sim::TheWorld();
    fuzz::Input in(data, size);
    sim::InputChain chain;
    for (int events = 0; events < 64 && !in.Empty(); ++events) {
        const std::uint8_t kind = in.Take<std::uint8_t>() % 3;
        const std::uint32_t device = in.Take<std::uint8_t>() % 4;
        if (kind == 0) {
            const std::uint32_t idCode = in.Take<std::uint8_t>() & 1 ? 46 + in.Below(2) : in.Take<std::uint32_t>();
            chain.Button(device, idCode, in.Take<float>(), in.Take<std::uint8_t>() & 1 ? 0.0f : in.Take<float>());
        } else if (kind == 1) {
            chain.Thumbstick(11 + in.Below(3), in.Take<float>(), in.Take<float>());
        } else {
            chain.Other(in.Take<std::uint32_t>(), device);
        }
    }
    world.SendInput(chain);
    world.session.sounds.clear();
    fuzz::Require(menu.stateLock.owner == 0 && menu.stateLock.count == 0);
    fuzz::Require(menu.targetHandle == host::EmptyHandle() || menu.visitedSet.count(menu.targetHandle) == 1);
    for (const sim::SimActor* actor : world.Actors()) fuzz::Require(actor->References() == actor->ownReferences);
    return 0;
}
