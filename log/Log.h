#pragma once
// The plugin's log: one plain text file per run of the game, in the documents folder,
// named after the plugin's module. Every line is flushed at once.

#include <fstream>
#include <optional>
#include <string>
#include <string_view>

// No members or operations of its own: a narrow output file stream, closed on destruction.
class DebugLog : public std::basic_ofstream<char> {};

extern DebugLog gDebugLog;

// The module's file name without folder and extension ("Veldrin" for Veldrin.dll), which
// names the log; empty until process attach fills it.
extern std::string ModuleName;

// Marks gDebugLog alive for as long as it lives: defined right after it, so it is built
// just after it and destroyed just before it.
struct DebugLogLifetime {
    DebugLogLifetime();
    ~DebugLogLifetime();
};

// Closes the log when it is alive and open; for the plugin's destructor, which runs at
// module unload after gDebugLog is already gone.
void CloseDebugLog();

// Bytes the platform's path buffers hold, terminating zero included.
inline constexpr std::size_t kPathBufferSize = 260;
inline constexpr std::size_t kLogLineBufferSize = 1024;

// "<documents>\My Games\Skyrim\SKSE\<module>.log", or nothing when it would not fit the
// platform's path buffer.
std::optional<std::string> BuildLogPath(std::string_view documentsFolder, std::string_view moduleName);

// Opens the log in the documents folder, truncating last run's file. Does nothing when
// the log is already open, ModuleName is empty or the documents folder is unknown; a
// missing folder leaves the stream failed, so later lines are silently dropped.
void OpenPluginLog();

// printf-style: one line, at most 1023 characters, flushed.
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
