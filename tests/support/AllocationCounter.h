#pragma once
// Counts the program's heap allocations (operator new) while a counter is alive.

#include <cstddef>

namespace test {

// Blocks the program's operator new has handed out and operator delete not yet taken back.
long LiveAllocations();

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    std::size_t Count() const;
};

}  // namespace test
