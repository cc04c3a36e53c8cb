#include "patches/SinkTypeName.h"

#include <windows.h>

#include <cstddef>
#include <typeinfo>

#include "host/Host.h"
#include "host/MsvcAbi.h"
#include "patches/CodeWriter.h"

namespace {

constexpr std::size_t kWordSize = 4;
constexpr std::size_t kMaxDecoratedName = 256;
constexpr CodeAddress kPageSize = 0x1000;

HMODULE ModuleOf(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCSTR>(address), &module);
    return module;
}

// The decorated name of a descriptor that is not the game's, read only as far as memory is
// readable and then undecorated by the plugin itself.
std::string ForeignTypeName(CodeAddress decoratedName) {
    std::string decorated;
    for (CodeAddress at = decoratedName; decorated.size() < kMaxDecoratedName; ++at) {
        if ((at % kPageSize == 0 || at == decoratedName) && !Readable(at, 1)) return {};
        const char c = static_cast<char>(ByteAt(at));
        if (c == '\0') return host::UndecorateTypeName(decorated);
        decorated.push_back(c);
    }
    return {};
}

}  // namespace

std::string SinkTypeName(void* sink) {
    // Every link is a word of the game's memory, read only once its page is known to be
    // readable, and read at any alignment: a damaged object may point anywhere.
    const auto object = reinterpret_cast<CodeAddress>(sink);
    if (object == 0 || !Readable(object, kWordSize)) return host::kNoTypeInformation;
    const CodeAddress vtable = WordAt(object);
    if (vtable < kWordSize || !Readable(vtable - kWordSize, kWordSize)) return host::kNoTypeInformation;
    const CodeAddress typeInformation = WordAt(vtable - kWordSize);
    if (typeInformation == 0) return host::kNoTypeInformation;
    // This plugin's own objects carry the compiler's type information, not the game's layout.
    const HMODULE ours = ModuleOf(reinterpret_cast<const void*>(&SinkTypeName));
    if (ours != nullptr && ModuleOf(reinterpret_cast<const void*>(vtable)) == ours)
        return reinterpret_cast<const std::type_info*>(typeInformation)->name();

    const CodeAddress locator = typeInformation;
    if (!Readable(locator, sizeof(host::MsvcCompleteObjectLocator))) return host::kNoTypeInformation;
    const CodeAddress descriptor = WordAt(locator + offsetof(host::MsvcCompleteObjectLocator, typeDescriptor));
    if (descriptor == 0 || !Readable(descriptor, offsetof(host::MsvcTypeDescriptor, decoratedName)))
        return host::kNoTypeInformation;
    const host::HostTable* t = host::Table();
    std::string name;
    const CodeAddress descriptorTable = WordAt(descriptor + offsetof(host::MsvcTypeDescriptor, typeInfoVtable));
    if (t && t->HostTypeInfoVtable && descriptorTable == reinterpret_cast<CodeAddress>(t->HostTypeInfoVtable)) {
        const char* hostName = host::CallOr<&host::HostTable::HostTypeInfoName>(
            static_cast<const char*>(nullptr), reinterpret_cast<const void*>(descriptor), t->HostTypeNameList);
        if (hostName) name = hostName;
    } else {
        name = ForeignTypeName(descriptor + offsetof(host::MsvcTypeDescriptor, decoratedName));
    }
    return name.empty() ? std::string(host::kNoTypeInformation) : name;
}
