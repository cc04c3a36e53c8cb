#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host/SpinLock.h"

namespace {

TEST(RecursiveSpinLock, OwnerReentersAndFreesOnLastRelease) {
    host::RecursiveSpinLock lock;
    host::Acquire(lock);
    host::Acquire(lock);
    EXPECT_EQ(lock.owner, static_cast<long>(GetCurrentThreadId()));
    EXPECT_EQ(lock.count, 2);
    host::Release(lock);
    EXPECT_EQ(lock.owner, static_cast<long>(GetCurrentThreadId())) << "still held after one of two releases";
    host::Release(lock);
    EXPECT_EQ(lock.owner, 0);
    EXPECT_EQ(lock.count, 0);
}

std::vector<unsigned long>* recordedPauses = nullptr;
std::atomic<std::size_t> pauseCount{0};

void RecordPause(unsigned long milliseconds) {
    recordedPauses->push_back(milliseconds);
    ++pauseCount;
    Sleep(0);
}

TEST(RecursiveSpinLock, WaiterYieldsThenSleeps) {
    host::RecursiveSpinLock lock;
    std::vector<unsigned long> pauses;
    recordedPauses = &pauses;
    pauseCount = 0;
    host::Acquire(lock);

    std::thread waiter([&] {
        host::Acquire(lock, RecordPause);
        host::Release(lock);
    });
    while (pauseCount < host::kSpinYieldAttempts + 3) Sleep(1);
    host::Release(lock);
    waiter.join();

    ASSERT_GT(pauses.size(), host::kSpinYieldAttempts);
    for (std::size_t i = 0; i < pauses.size(); ++i)
        ASSERT_EQ(pauses[i], i < host::kSpinYieldAttempts ? 0u : 1u) << "failure " << i + 1;
    EXPECT_EQ(lock.owner, 0);
}

}  // namespace
