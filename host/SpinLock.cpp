#include "host/SpinLock.h"

#include <windows.h>

namespace host {

void Acquire(RecursiveSpinLock& lock, SleepFunction sleep) {
    const long self = static_cast<long>(GetCurrentThreadId());
    if (lock.owner == self) {
        ++lock.count;
        return;
    }
    std::uint32_t failures = 0;
    while (InterlockedCompareExchange(&lock.owner, self, 0) != 0) {
        ++failures;
        const unsigned long pause = failures <= kSpinYieldAttempts ? 0 : 1;
        if (sleep != nullptr)
            sleep(pause);
        else
            Sleep(pause);
    }
    lock.count = 1;
}

void Release(RecursiveSpinLock& lock) {
    if (--lock.count == 0) InterlockedCompareExchange(&lock.owner, 0, lock.owner);
}

}  // namespace host
