#include "log/Log.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>

// The log is built just before its lifetime marker and destroyed just after it.
DebugLog gDebugLog;                  // closed until the query opens it
DebugLogLifetime gDebugLogLifetime;  // tells the plugin's destructor, run later, that the log is gone
std::string ModuleName;              // filled by process attach

namespace {

constexpr char kLogFolder[] = "\\My Games\\Skyrim\\SKSE\\";
constexpr char kLogExtension[] = ".log";

}  // namespace

std::optional<std::string> BuildLogPath(std::string_view documentsFolder, std::string_view moduleName) {
    std::string path;
    path.reserve(kPathBufferSize);
    path.append(documentsFolder).append(kLogFolder).append(moduleName).append(kLogExtension);
    if (path.size() + 1 > kPathBufferSize) return std::nullopt;
    return path;
}

void OpenPluginLog() {
    if (gDebugLog.is_open() || ModuleName.empty()) return;
    char documents[kPathBufferSize] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents) != S_OK) return;
    if (const auto path = BuildLogPath(documents, ModuleName)) gDebugLog.open(*path);
}

namespace {
bool debugLogAlive = false;  // constant-initialised: readable before and after every static object
}  // namespace

DebugLogLifetime::DebugLogLifetime() { debugLogAlive = true; }
DebugLogLifetime::~DebugLogLifetime() { debugLogAlive = false; }

void CloseDebugLog() {
    if (debugLogAlive && gDebugLog.is_open()) gDebugLog.close();
}

void LogMessage(const char* format, ...) {
    char line[kLogLineBufferSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    gDebugLog << line << std::endl;
    gDebugLog.flush();
}
