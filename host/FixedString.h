#pragma once
// The game's interned, reference-counted string. The handle points at the characters;
// the word just before them holds the length in its low 24 bits. Equal texts share one
// handle, so names are compared by handle.

#include <cstdint>
#include <string_view>

namespace host {

inline constexpr std::uint32_t kFixedStringLengthMask = 0x00FFFFFF;

// Owns one reference to an interned string. Four bytes, laid out as the game's own
// member, so it can stand inside host records and be passed by pointer to host calls.
// Every operation is a no-op when the host offers no string pool.
class FixedString {
public:
    FixedString() = default;
    explicit FixedString(const char* text);
    FixedString(const FixedString& other);
    FixedString(FixedString&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
    FixedString& operator=(FixedString other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }
    ~FixedString();

    const char* Handle() const { return handle_; }
    std::string_view View() const;
    bool Empty() const { return View().empty(); }
    friend bool operator==(const FixedString& a, const FixedString& b) { return a.handle_ == b.handle_; }

    // Gives up ownership of the reference, for a host call that consumes one.
    const char* Release() {
        const char* handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    const char* handle_ = nullptr;
};
static_assert(sizeof(FixedString) == 0x04);

// Length of an interned string from its handle (0 for a null handle).
inline std::uint32_t FixedStringLength(const char* handle) {
    if (handle == nullptr) return 0;
    return reinterpret_cast<const std::uint32_t*>(handle)[-1] & kFixedStringLengthMask;
}

}  // namespace host
