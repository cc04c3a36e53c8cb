#include "sim/game/StringPool.h"

#include <cstdlib>
#include <cstring>

#include "host/FixedString.h"
#include "sim/game/Misuse.h"

namespace sim {

namespace {
constexpr std::size_t kBucketCount = 1024;
}

struct StringPool::Entry {
    Entry* next;
    std::uint32_t refCount;
    std::uint32_t hash;
    std::uint32_t lengthWord;  // just before the characters, as the game lays it out
    char text[1];
};

std::uint32_t Crc32(const void* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

StringPool::StringPool() : buckets_(kBucketCount, nullptr) {
    static_assert(offsetof(Entry, text) - offsetof(Entry, lengthWord) == 4, "length word right before the text");
}

const char* StringPool::Intern(const char* text) {
    const std::size_t length = std::strlen(text);
    const std::uint32_t hash = Crc32(text, length);
    std::lock_guard<std::mutex> lock(mutex_);
    Entry*& bucket = buckets_[hash % kBucketCount];
    for (Entry* entry = bucket; entry; entry = entry->next) {
        if (entry->hash == hash && (entry->lengthWord & host::kFixedStringLengthMask) == length &&
            std::memcmp(entry->text, text, length) == 0) {
            ++entry->refCount;
            return entry->text;
        }
    }
    auto* entry = static_cast<Entry*>(std::malloc(sizeof(Entry) + length));
    entry->next = bucket;
    entry->refCount = 1;
    entry->hash = hash;
    entry->lengthWord = static_cast<std::uint32_t>(length) & host::kFixedStringLengthMask;
    std::memcpy(entry->text, text, length + 1);
    bucket = entry;
    handles_.insert(entry->text);
    ++live_;
    return entry->text;
}

StringPool::Entry* StringPool::FindLocked(const char* handle) const {
    if (handle == nullptr || handles_.count(handle) == 0) return nullptr;
    return reinterpret_cast<Entry*>(const_cast<char*>(handle) - offsetof(Entry, text));
}

void StringPool::AddRef(const char* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (Entry* entry = FindLocked(handle)) ++entry->refCount;
}

void StringPool::Release(const char* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    Entry* entry = FindLocked(handle);
    if (entry == nullptr) {
        if (handle != nullptr) ReportMisuse("a string released that the pool does not hold (released twice?)");
        return;
    }
    if (--entry->refCount != 0) return;
    Entry** link = &buckets_[entry->hash % kBucketCount];
    while (*link != entry) link = &(*link)->next;
    *link = entry->next;
    handles_.erase(entry->text);
    std::free(entry);
    --live_;
}

bool StringPool::Owns(const char* handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindLocked(handle) != nullptr;
}

std::uint32_t StringPool::RefCount(const char* handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const Entry* entry = FindLocked(handle);
    return entry ? entry->refCount : 0;
}

std::size_t StringPool::LiveStrings() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return live_;
}

StringPool& Strings() {
    static StringPool* const pool = new StringPool();
    return *pool;
}

}  // namespace sim
