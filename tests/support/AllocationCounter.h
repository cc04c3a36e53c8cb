#pragma once
// Counts the program's heap allocations (operator new) while a counter is alive.

#include <cstddef>

namespace test {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    std::size_t Count() const;
};

}  // namespace test
