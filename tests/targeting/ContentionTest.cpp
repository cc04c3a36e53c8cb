// The game calls the plugin on several threads of its own: input on one, frames on
// another, the interface on a third. The lock they share must exclude, re-enter and
// always come back free, and a session played on three threads at once must neither crash
// nor leave a lock held.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "plugin/TarvekPlugin.h"
#include "support/TempFiles.h"
#include "support/WorldFixture.h"
#include "targeting/LockState.h"
#include "tracking/Tracking.h"
#include "ui/MenuName.h"
#include "ui/TarvekMenu.h"

namespace {

// Ends the whole program with a message if the scope is not left in time: a deadlock must
// fail the suite, not hang it.
class Deadline {
public:
    explicit Deadline(std::chrono::seconds limit)
        : watcher_([this, limit] {
              const auto until = std::chrono::steady_clock::now() + limit;
              while (!done_)
                  if (std::chrono::steady_clock::now() > until) {
                      std::fprintf(stderr, "contention test: deadlocked (still running after %lld s)\n",
                                   static_cast<long long>(limit.count()));
                      std::abort();
                  } else {
                      std::this_thread::sleep_for(std::chrono::milliseconds(20));
                  }
          }) {}
    ~Deadline() {
        done_ = true;
        watcher_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread watcher_;
};

class Contention : public test::WorldTest {};

TEST_F(Contention, TheStateLockExcludesReentersAndComesBackFreeUnderFourThreadsAndFrames) {
    // The lock of an open menu whose target is dead: every frame releases it, under the lock.
    sim::SimActor& doomed = AddActor({0, 600, 0});
    doomed.dead = true;
    TargetLock lock;
    LockState.markerMenu = &lock;

    constexpr int kThreads = 4;
    constexpr int kPairsPerThread = 250000;  // a million acquire and release pairs in all
    std::uint64_t guarded = 0;               // two words: a torn or lost update shows in the total
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    {
        const Deadline deadline(std::chrono::seconds(240));
        std::thread frameThread([&] {
            while (!stop) {
                {
                    host::SpinLockGuard relock(lock.stateLock);
                    lock.targetHandle = doomed.handle;
                    lock.visitedSet.insert(doomed.handle);
                }
                UpdateTracking(nullptr, nullptr);  // finds the target dead: ReleaseTarget
                ++frames;
            }
        });
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&] {
                for (int pair = 0; pair < kPairsPerThread; ++pair) {
                    {
                        host::SpinLockGuard outer(lock.stateLock);
                        host::SpinLockGuard inner(lock.stateLock);  // the owner takes it again at once
                        ++guarded;
                    }
                    if (pair % 64 == 0) std::this_thread::yield();  // so the threads interleave
                }
            });
        for (std::thread& thread : threads) thread.join();
        stop = true;
        frameThread.join();
    }
    EXPECT_EQ(guarded, static_cast<std::uint64_t>(kThreads) * kPairsPerThread) << "mutual exclusion held";
    EXPECT_GT(frames, 0);
    EXPECT_EQ(lock.stateLock.owner, 0) << "the owner word comes back to 0";
    EXPECT_EQ(lock.stateLock.count, 0);
    EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle);
    LockState.markerMenu = nullptr;
}

TEST_F(Contention, InputFramesAndTheInterfaceOnThreadsOfTheirOwn) {
    const std::string data = test::MakeTempFolder("contention");
    test::MakeFolders(data + "\\Interface");
    test::WriteFile(data + "\\Interface\\TarvekMenu.swf", "movie");
    world->conditions.dataFolder = data;
    for (int i = 0; i < 6; ++i) AddActor({-300.0f + 120.0f * static_cast<float>(i), 700, 20});
    gPlugin.OnModLoaded();
    world->OpenMenu(sim::kTriggerMenuName);
    world->CloseMenu(sim::kTriggerMenuName);
    world->RunFrame();
    auto* menu = static_cast<TarvekMenu*>(world->OpenInstance(kMarkerMenuName));
    ASSERT_NE(menu, nullptr);

    constexpr int kRounds = 3000;
    {
        const Deadline deadline(std::chrono::seconds(240));
        std::thread input([&] {
            for (int round = 0; round < kRounds; ++round) {
                sim::InputChain chain;
                chain.Button(host::kDeviceKeyboard, round % 3 == 0 ? 46 : 47);
                chain.Thumbstick(host::kRightThumbstick, 0.1f * static_cast<float>(round % 5), -0.2f);
                world->SendInput(chain);
            }
        });
        std::thread game([&] {
            for (int round = 0; round < kRounds; ++round) world->RunGameFrame();
        });
        std::thread ui([&] {
            for (int round = 0; round < kRounds; ++round) {
                world->RunInterfaceFrame();
                if (round % 10 == 0) world->OpenMenu("Inventory Menu");   // hides the marker...
                if (round % 10 == 5) world->CloseMenu("Inventory Menu");  // ...and shows it again
            }
        });
        input.join();
        game.join();
        ui.join();
    }
    EXPECT_EQ(menu->stateLock.owner, 0) << "no lock left held";
    EXPECT_EQ(menu->stateLock.count, 0);
    EXPECT_GT(world->session.sounds.size(), 0u) << "the threads did lock and switch";
    // The fixture's end closes the menu and checks every reference was dropped.
}

}  // namespace
