#pragma once
// Records of the script extender's plugin protocol.

#include <cstddef>
#include <cstdint>

#include "host/CallingConventions.h"

namespace host {

// Version words: major in the top byte, minor in the next, build shifted left by 4.
inline constexpr std::uint32_t kRuntimeVersion = 0x09200000;            // the one supported game runtime
inline constexpr std::uint32_t kMinScriptExtenderVersion = 0x01070030;  // 1.7.3
inline constexpr std::uint32_t kReleaseIndexVersion = 0x01070000;       // 1.7.0 added ReleaseIndexQuery
inline constexpr std::uint32_t kInterfaceQueryFirstId = 1;
inline constexpr std::uint32_t kInterfaceQueryLastId = 5;

// clang-format off
struct SKSEInterface {
    std::uint32_t scriptExtenderVersion;  // 00
    std::uint32_t runtimeVersion;         // 04
    std::uint32_t unk08;                  // 08
    std::uint32_t isEditor;               // 0C
    void* (HOST_CDECL* InterfaceQuery)(std::uint32_t id);  // 10
    std::uint32_t (HOST_CDECL* PluginHandleQuery)();       // 14
    std::uint32_t (HOST_CDECL* ReleaseIndexQuery)();       // 18
};
// clang-format on
static_assert(offsetof(SKSEInterface, scriptExtenderVersion) == 0x00);
static_assert(offsetof(SKSEInterface, runtimeVersion) == 0x04);
static_assert(offsetof(SKSEInterface, isEditor) == 0x0C);
static_assert(offsetof(SKSEInterface, InterfaceQuery) == 0x10);
static_assert(offsetof(SKSEInterface, PluginHandleQuery) == 0x14);
static_assert(offsetof(SKSEInterface, ReleaseIndexQuery) == 0x18);

struct PluginInfo {
    std::uint32_t infoVersion;  // 00, left as the host set it
    const char* name;           // 04
    std::uint32_t version;      // 08
};
static_assert(offsetof(PluginInfo, infoVersion) == 0x00);
static_assert(offsetof(PluginInfo, name) == 0x04);
static_assert(offsetof(PluginInfo, version) == 0x08);
static_assert(sizeof(PluginInfo) == 0x0C);

}  // namespace host
