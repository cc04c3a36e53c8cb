#pragma once
// Small file helpers for tests, on the real Win32 file system.

#include <string>

namespace test {

// How the platform's text mode ends a line: the log is written in text mode.
#ifdef _WIN32
inline constexpr char kTextLineEnd[] = "\r\n";
#else
inline constexpr char kTextLineEnd[] = "\n";
#endif

// A fresh, empty folder for one test (under the system's temporary folder).
std::string MakeTempFolder(const std::string& name);
void WriteFile(const std::string& path, const std::string& bytes);
// The file's bytes; `exists` tells a missing file from an empty one.
std::string ReadFile(const std::string& path, bool* exists = nullptr);
bool FileExists(const std::string& path);
void RemoveFolderTree(const std::string& path);
void MakeFolders(const std::string& path);
void CopyFileTo(const std::string& from, const std::string& to);

}  // namespace test
