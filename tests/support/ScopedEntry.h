#pragma once
// Replaces one entry of the stand-in's host table for the length of a scope.

#include <utility>

namespace test {

template <class T>
class ScopedEntry {
public:
    ScopedEntry(T& entry, T value) : entry_(entry), saved_(std::exchange(entry, value)) {}
    ~ScopedEntry() { entry_ = saved_; }
    ScopedEntry(const ScopedEntry&) = delete;
    ScopedEntry& operator=(const ScopedEntry&) = delete;

private:
    T& entry_;
    T saved_;
};

}  // namespace test
