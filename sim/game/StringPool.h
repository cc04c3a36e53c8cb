#pragma once
// The stand-in game's interned string pool: one entry per distinct text, counted, found
// by a CRC-32 of the text. A handle points at the characters; the word before them holds
// the length.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace sim {

std::uint32_t Crc32(const void* data, std::size_t size);

class StringPool {
public:
    StringPool();
    StringPool(const StringPool&) = delete;
    StringPool& operator=(const StringPool&) = delete;

    const char* Intern(const char* text);  // one more reference
    void AddRef(const char* handle);
    void Release(const char* handle);  // frees the entry with its last reference
    bool Owns(const char* handle) const;

    std::uint32_t RefCount(const char* handle) const;  // 0 for a handle not in the pool
    std::size_t LiveStrings() const;

private:
    struct Entry;
    Entry* FindLocked(const char* handle) const;

    mutable std::mutex mutex_;
    std::vector<Entry*> buckets_;
    std::unordered_set<const char*> handles_;
    std::size_t live_ = 0;
};

// The pool every host string operation uses; never destroyed, so a plugin can still
// release strings from its exit-time destructors.
StringPool& Strings();

}  // namespace sim
