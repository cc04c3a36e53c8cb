#pragma once
// Reads a fuzzer's bytes as the values a target needs; past the end, every value is 0.

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    template <class T>
    T Take() {
        T value{};
        const std::size_t n = sizeof(T) < size_ - used_ ? sizeof(T) : size_ - used_;
        std::memcpy(&value, data_ + used_, n);
        used_ += n;
        return value;
    }
    std::uint32_t Below(std::uint32_t bound) { return bound == 0 ? 0 : Take<std::uint32_t>() % bound; }
    bool Empty() const { return used_ >= size_; }
    std::size_t Left() const { return size_ - used_; }
    const std::uint8_t* Rest() const { return data_ + used_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t used_ = 0;
};

// A property the target checks: when it does not hold, the run ends here and libFuzzer
// keeps the input that broke it.
inline void Require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace fuzz
