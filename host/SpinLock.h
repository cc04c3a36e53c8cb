#pragma once
// The game's recursive spin lock: owner thread id and recursion count. Event sources keep
// one in their first two words; the marker menu guards its lock fields with one.

#include <cstddef>
#include <cstdint>

namespace host {

// Failed attempts that yield with Sleep(0) before the waiter falls back to Sleep(1).
inline constexpr std::uint32_t kSpinYieldAttempts = 10000;

struct RecursiveSpinLock {
    volatile long owner = 0;  // 00: thread id, 0 when free
    long count = 0;           // 04: recursion depth, touched only by the owner
};
static_assert(offsetof(RecursiveSpinLock, owner) == 0x00);
static_assert(offsetof(RecursiveSpinLock, count) == 0x04);
static_assert(sizeof(RecursiveSpinLock) == 0x08);

using SleepFunction = void (*)(unsigned long milliseconds);

void Acquire(RecursiveSpinLock& lock, SleepFunction sleep = nullptr);  // nullptr: Win32 Sleep
void Release(RecursiveSpinLock& lock);

class SpinLockGuard {
public:
    explicit SpinLockGuard(RecursiveSpinLock& lock) : lock_(lock) { Acquire(lock_); }
    ~SpinLockGuard() { Release(lock_); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;

private:
    RecursiveSpinLock& lock_;
};

}  // namespace host
