#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "support/WorldFixture.h"
#include "targeting/LockState.h"

namespace {

using LockStateTest = test::WorldTest;

TEST_F(LockStateTest, ReleaseTargetEmptiesTheLockAndTouchesNothingElse) {
    TargetLock lock;
    EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle);
    lock.targetHandle = 0x100005;
    lock.visitedSet = {0x100005, 0x100006};
    lock.markerX = 3.5;
    LockState.rightStickX = 0.5f;
    ReleaseTarget(lock);
    EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle);
    EXPECT_TRUE(lock.visitedSet.empty());
    EXPECT_EQ(lock.markerX, 3.5);
    EXPECT_EQ(LockState.rightStickX, 0.5f);
    ReleaseTarget(lock);  // nothing locked: still nothing
    EXPECT_EQ(lock.targetHandle, sim::kEmptyHandle);
}

TEST_F(LockStateTest, IsTargetLockedNeedsAnOpenMenuAndATarget) {
    TargetLock lock;
    EXPECT_FALSE(IsTargetLocked());
    LockState.markerMenu = &lock;
    EXPECT_FALSE(IsTargetLocked());
    lock.targetHandle = 0x100005;
    EXPECT_TRUE(IsTargetLocked());
}

TEST(StateLock, ContendingThreadsExcludeEachOtherAndOwnersReenter) {
    TargetLock lock;
    constexpr int kThreads = 4, kRounds = 2000;
    long inside = 0, most = 0, total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                host::SpinLockGuard outer(lock.stateLock);
                host::SpinLockGuard inner(lock.stateLock);  // the owner takes it again without waiting
                most = std::max(most, ++inside);
                ++total;
                --inside;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(most, 1) << "never two threads inside";
    EXPECT_EQ(total, kThreads * kRounds);
    EXPECT_EQ(lock.stateLock.owner, 0);
    EXPECT_EQ(lock.stateLock.count, 0);
}

}  // namespace
