// The Win32 calls of windows.h, shlobj.h and shlwapi.h beside this file, on Linux.

#include "windows.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "shlobj.h"
#include "shlwapi.h"

namespace {

constexpr std::uintptr_t kPage = 0x1000;
constexpr char kNativeRoot[] = "/tmp/veldrin-native";

std::uintptr_t PageDown(std::uintptr_t at) { return at & ~(kPage - 1); }
std::uintptr_t PageUp(std::uintptr_t at) { return (at + kPage - 1) & ~(kPage - 1); }

int PosixProtection(DWORD protect) {
    switch (protect & 0xFF) {
        case PAGE_READONLY: return PROT_READ;
        case PAGE_READWRITE: return PROT_READ | PROT_WRITE;
        case PAGE_EXECUTE: return PROT_EXEC;
        case PAGE_EXECUTE_READ: return PROT_READ | PROT_EXEC;
        case PAGE_EXECUTE_READWRITE: return PROT_READ | PROT_WRITE | PROT_EXEC;
        default: return PROT_NONE;
    }
}

DWORD WindowsProtection(bool read, bool write, bool execute) {
    if (execute) return write ? PAGE_EXECUTE_READWRITE : read ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
    if (write) return PAGE_READWRITE;
    return read ? PAGE_READONLY : PAGE_NOACCESS;
}

// What VirtualAlloc reserved, page by page whether it is committed yet; and each mapped
// view's size. Windows keeps this itself; mmap does not.
struct Reservation {
    std::uintptr_t size;
    std::vector<bool> committed;
};
struct Regions {
    std::mutex mutex;
    std::map<std::uintptr_t, Reservation> reservations;
    std::map<std::uintptr_t, std::size_t> views;
};
Regions& TheRegions() {
    static Regions* const regions = new Regions();
    return *regions;
}

// The reservation holding `at`, and the index of its page, if any.
Reservation* ReservationOf(Regions& regions, std::uintptr_t at, std::size_t* page) {
    auto found = regions.reservations.upper_bound(at);
    if (found == regions.reservations.begin()) return nullptr;
    --found;
    if (at >= found->first + found->second.size) return nullptr;
    *page = (at - found->first) / kPage;
    return &found->second;
}

struct MapEntry {
    std::uintptr_t begin, end;
    bool read, write, execute, shared;
};

// The process's own account of its memory.
std::vector<MapEntry> ReadMaps() {
    std::vector<MapEntry> maps;
    std::ifstream in("/proc/self/maps");
    std::string line;
    while (std::getline(in, line)) {
        unsigned long begin = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &begin, &end, perms) != 3) continue;
        // The kernel lists its [vvar] pages as readable, yet some of them fault when read
        // (SIGBUS). Windows has no such page: here they are pages that cannot be read.
        const bool readable = perms[0] == 'r' && line.find("[vvar]") == std::string::npos;
        maps.push_back({begin, end, readable, perms[1] == 'w', perms[2] == 'x', perms[3] == 's'});
    }
    return maps;
}

struct Mapping {
    int fd;
    std::size_t size;
};

// Windows strips blanks around a key and its value.
std::string Trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

bool SameText(std::string a, std::string b) {
    std::transform(a.begin(), a.end(), a.begin(), [](unsigned char c) { return std::tolower(c); });
    std::transform(b.begin(), b.end(), b.begin(), [](unsigned char c) { return std::tolower(c); });
    return a == b;
}

}  // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
    Regions& regions = TheRegions();
    std::lock_guard<std::mutex> lock(regions.mutex);
    const std::uintptr_t length = PageUp(size);
    if (address == nullptr) {
        const bool commit = (type & MEM_COMMIT) != 0;
        void* at = mmap(nullptr, length, commit ? PosixProtection(protect) : PROT_NONE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (at == MAP_FAILED) return nullptr;
        regions.reservations[reinterpret_cast<std::uintptr_t>(at)] = {length,
                                                                      std::vector<bool>(length / kPage, commit)};
        return at;
    }
    // Committing pages of an earlier reservation.
    const std::uintptr_t first = PageDown(reinterpret_cast<std::uintptr_t>(address));
    std::size_t page = 0;
    Reservation* reservation = ReservationOf(regions, first, &page);
    if (reservation == nullptr || !(type & MEM_COMMIT)) return nullptr;
    if (mprotect(reinterpret_cast<void*>(first), length, PosixProtection(protect)) != 0) return nullptr;
    for (std::size_t i = 0; i < length / kPage && page + i < reservation->committed.size(); ++i)
        reservation->committed[page + i] = true;
    return reinterpret_cast<void*>(first);
}

BOOL VirtualFree(LPVOID address, SIZE_T, DWORD type) {
    if (!(type & MEM_RELEASE)) return FALSE;
    Regions& regions = TheRegions();
    std::lock_guard<std::mutex> lock(regions.mutex);
    const auto found = regions.reservations.find(reinterpret_cast<std::uintptr_t>(address));
    if (found == regions.reservations.end()) return FALSE;
    munmap(address, found->second.size);
    regions.reservations.erase(found);
    return TRUE;
}

SIZE_T VirtualQuery(LPCVOID address, MEMORY_BASIC_INFORMATION* info, SIZE_T size) {
    if (info == nullptr || size < sizeof *info) return 0;
    *info = {};
    const std::uintptr_t at = PageDown(reinterpret_cast<std::uintptr_t>(address));
    {
        Regions& regions = TheRegions();
        std::lock_guard<std::mutex> lock(regions.mutex);
        std::size_t page = 0;
        if (const Reservation* reservation = ReservationOf(regions, at, &page);
            reservation && !reservation->committed[page]) {
            std::size_t last = page;
            while (last < reservation->committed.size() && !reservation->committed[last]) ++last;
            info->BaseAddress = reinterpret_cast<void*>(at);
            info->RegionSize = (last - page) * kPage;
            info->State = MEM_RESERVE;
            return sizeof *info;
        }
    }
    const std::vector<MapEntry> maps = ReadMaps();
    for (std::size_t i = 0; i < maps.size(); ++i) {
        if (at < maps[i].begin || at >= maps[i].end) continue;
        info->BaseAddress = reinterpret_cast<void*>(at);
        info->AllocationBase = reinterpret_cast<void*>(maps[i].begin);
        info->RegionSize = maps[i].end - at;
        info->State = MEM_COMMIT;
        info->Protect = WindowsProtection(maps[i].read, maps[i].write, maps[i].execute);
        return sizeof *info;
    }
    info->BaseAddress = reinterpret_cast<void*>(at);
    info->RegionSize = kPage;
    info->State = MEM_FREE;
    return sizeof *info;
}

BOOL VirtualProtect(LPVOID address, SIZE_T size, DWORD protect, PDWORD previous) {
    const std::uintptr_t first = PageDown(reinterpret_cast<std::uintptr_t>(address));
    const std::uintptr_t end = PageUp(reinterpret_cast<std::uintptr_t>(address) + size);
    // Every page must be committed: Windows refuses a reserved or free one.
    for (std::uintptr_t page = first; page < end; page += kPage) {
        MEMORY_BASIC_INFORMATION info;
        if (VirtualQuery(reinterpret_cast<void*>(page), &info, sizeof info) == 0 || info.State != MEM_COMMIT)
            return FALSE;
        if (page == first && previous != nullptr) *previous = info.Protect;
    }
    // A view mapped without write access cannot be made writable: mprotect says EACCES.
    return mprotect(reinterpret_cast<void*>(first), end - first, PosixProtection(protect)) == 0 ? TRUE : FALSE;
}

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES*, DWORD, DWORD sizeHigh, DWORD sizeLow, LPCSTR) {
    if (file != INVALID_HANDLE_VALUE || sizeHigh != 0) return nullptr;
    const int fd = static_cast<int>(syscall(SYS_memfd_create, "veldrin-mapping", 0u));
    if (fd < 0) return nullptr;
    if (ftruncate(fd, sizeLow) != 0) {
        close(fd);
        return nullptr;
    }
    return new Mapping{fd, sizeLow};
}

LPVOID MapViewOfFile(HANDLE handle, DWORD access, DWORD, DWORD offsetLow, SIZE_T size) {
    const auto* mapping = static_cast<const Mapping*>(handle);
    if (mapping == nullptr) return nullptr;
    const std::size_t length = size == 0 ? mapping->size - offsetLow : size;
    const bool write = (access & FILE_MAP_WRITE) != 0;
    const int protection = PROT_READ | (write ? PROT_WRITE : 0) | ((access & FILE_MAP_EXECUTE) ? PROT_EXEC : 0);
    // Without write access the view comes from a read-only descriptor of the same memory.
    const int fd = write ? mapping->fd : open(("/proc/self/fd/" + std::to_string(mapping->fd)).c_str(), O_RDONLY);
    if (fd < 0) return nullptr;
    void* at = mmap(nullptr, length, protection, MAP_SHARED, fd, offsetLow);
    if (!write) close(fd);
    if (at == MAP_FAILED) return nullptr;
    Regions& regions = TheRegions();
    std::lock_guard<std::mutex> lock(regions.mutex);
    regions.views[reinterpret_cast<std::uintptr_t>(at)] = length;
    return at;
}

BOOL UnmapViewOfFile(LPCVOID address) {
    Regions& regions = TheRegions();
    std::lock_guard<std::mutex> lock(regions.mutex);
    const auto found = regions.views.find(reinterpret_cast<std::uintptr_t>(address));
    if (found == regions.views.end()) return FALSE;
    munmap(const_cast<void*>(address), found->second);
    regions.views.erase(found);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    auto* mapping = static_cast<Mapping*>(handle);
    if (mapping == nullptr || handle == INVALID_HANDLE_VALUE) return FALSE;
    close(mapping->fd);
    delete mapping;
    return TRUE;
}

BOOL FlushInstructionCache(HANDLE, LPCVOID, SIZE_T) { return TRUE; }  // x86 keeps its caches coherent
HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }
DWORD GetCurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

LONG InterlockedCompareExchange(volatile LONG* destination, LONG exchange, LONG comparand) {
    return __sync_val_compare_and_swap(destination, comparand, exchange);
}

void Sleep(DWORD milliseconds) {
    if (milliseconds == 0)
        sched_yield();
    else
        usleep(static_cast<useconds_t>(milliseconds) * 1000);
}

HMODULE GetModuleHandleA(LPCSTR name) {
    return name == nullptr ? dlopen(nullptr, RTLD_LAZY) : dlopen(name, RTLD_NOLOAD | RTLD_LAZY);
}

BOOL GetModuleHandleExA(DWORD flags, LPCSTR name, HMODULE* module) {
    if (module == nullptr) return FALSE;
    *module = nullptr;
    if (!(flags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS)) return (*module = GetModuleHandleA(name)) != nullptr;
    Dl_info info{};
    if (dladdr(name, &info) == 0 || info.dli_fbase == nullptr) return FALSE;
    *module = info.dli_fbase;
    return TRUE;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    if (buffer == nullptr || size == 0) return 0;
    std::string path;
    if (module == nullptr) {
        char link[4096];
        const ssize_t length = readlink("/proc/self/exe", link, sizeof link - 1);
        if (length <= 0) return 0;
        path.assign(link, static_cast<std::size_t>(length));
    } else {
        Dl_info info{};
        if (dladdr(module, &info) == 0 || info.dli_fname == nullptr) return 0;
        path = info.dli_fname;
    }
    // As on Windows: a name that does not fit is cut, and the whole buffer counts.
    const std::size_t copied = std::min<std::size_t>(path.size(), size - 1);
    std::memcpy(buffer, path.data(), copied);
    buffer[copied] = '\0';
    return copied == path.size() ? static_cast<DWORD>(copied) : size;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) { return reinterpret_cast<FARPROC>(dlsym(module, name)); }
HMODULE LoadLibraryA(LPCSTR path) { return dlopen(path, RTLD_NOW); }
BOOL FreeLibrary(HMODULE module) { return dlclose(module) == 0 ? TRUE : FALSE; }

DWORD GetFileAttributesA(LPCSTR path) {
    struct stat info;
    if (path == nullptr || stat(path, &info) != 0) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL DeleteFileA(LPCSTR path) { return unlink(path) == 0 ? TRUE : FALSE; }
BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES*) { return mkdir(path, 0755) == 0 ? TRUE : FALSE; }
BOOL RemoveDirectoryA(LPCSTR path) { return rmdir(path) == 0 ? TRUE : FALSE; }

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) {
    if (failIfExists && GetFileAttributesA(to) != INVALID_FILE_ATTRIBUTES) return FALSE;
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out) return FALSE;
    out << in.rdbuf();
    return out ? TRUE : FALSE;
}

DWORD GetTempPathA(DWORD size, LPSTR buffer) {
    const std::string folder = std::string(kNativeRoot) + "/";
    mkdir(kNativeRoot, 0755);
    if (buffer == nullptr || size <= folder.size()) return static_cast<DWORD>(folder.size() + 1);
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR file) {
    if (buffer == nullptr || size < 2) return 0;
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> entries;
    bool inside = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::string trimmed = Trimmed(line);
        if (!trimmed.empty() && trimmed.front() == '[') {
            const std::size_t close = trimmed.find(']');
            inside = close != std::string::npos && SameText(Trimmed(trimmed.substr(1, close - 1)), section);
            continue;
        }
        if (!inside || trimmed.empty() || trimmed.front() == ';') continue;
        const std::size_t equals = trimmed.find('=');
        entries.push_back(equals == std::string::npos
                              ? trimmed
                              : Trimmed(trimmed.substr(0, equals)) + "=" + Trimmed(trimmed.substr(equals + 1)));
    }
    // Entries end with a zero each, the list with one more; what does not fit is cut and the
    // answer is then size - 2, as Windows does.
    std::size_t used = 0;
    for (const std::string& entry : entries) {
        if (used + entry.size() + 2 > size) {
            const std::size_t room = size - 2 - used;
            std::memcpy(buffer + used, entry.data(), room);
            buffer[size - 2] = '\0';
            buffer[size - 1] = '\0';
            return size - 2;
        }
        std::memcpy(buffer + used, entry.c_str(), entry.size() + 1);
        used += entry.size() + 1;
    }
    buffer[used] = '\0';
    return static_cast<DWORD>(used);
}

HRESULT SHGetFolderPathA(HWND, int folder, HANDLE, DWORD, LPSTR path) {
    if (folder != CSIDL_PERSONAL || path == nullptr) return E_FAIL;
    const char* chosen = std::getenv("VELDRIN_DOCUMENTS");
    const std::string documents = chosen ? chosen : std::string(kNativeRoot) + "/Documents";
    if (documents.size() >= MAX_PATH || GetFileAttributesA(documents.c_str()) != FILE_ATTRIBUTE_DIRECTORY)
        return E_FAIL;
    std::memcpy(path, documents.c_str(), documents.size() + 1);
    return S_OK;
}

int SHCreateDirectoryExA(HWND, LPCSTR path, SECURITY_ATTRIBUTES*) {
    if (path == nullptr) return -1;
    const std::string full = path;
    for (std::size_t slash = full.find('/', 1); slash != std::string::npos; slash = full.find('/', slash + 1))
        mkdir(full.substr(0, slash).c_str(), 0755);
    return mkdir(full.c_str(), 0755) == 0 || errno == EEXIST ? 0 : -1;
}

BOOL PathRemoveFileSpecA(LPSTR path) {
    if (path == nullptr) return FALSE;
    char* separator = std::strrchr(path, '\\');
    char* slash = std::strrchr(path, '/');
    if (slash > separator) separator = slash;
    if (separator == nullptr) return FALSE;
    *separator = '\0';
    return TRUE;
}
