#pragma once
// Counts the program's heap allocations (operator new) while a counter is alive, and can
// make them fail as a machine out of memory does.

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

// While alive, the program's next `count` allocations fail (operator new throws
// std::bad_alloc; the nothrow form answers null).
class RefusedAllocations {
public:
    explicit RefusedAllocations(int count);
    ~RefusedAllocations();
    RefusedAllocations(const RefusedAllocations&) = delete;
    RefusedAllocations& operator=(const RefusedAllocations&) = delete;
};

}  // namespace test
