#include "support/TempFiles.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace test {
namespace {

// The folders this test program made: removed when all its tests passed (a failure keeps
// them to look at), so that runs do not pile game copies up in the temporary folder.
std::set<std::string>& MadeFolders() {
    static std::set<std::string> folders;
    return folders;
}

class RemoveMadeFoldersWhenPassed : public ::testing::Environment {
public:
    void TearDown() override {
        if (!::testing::UnitTest::GetInstance()->Passed()) return;
        for (const std::string& folder : MadeFolders()) RemoveFolderTree(folder);
    }
};

[[maybe_unused]] ::testing::Environment* const kRemoveMadeFolders =
    ::testing::AddGlobalTestEnvironment(new RemoveMadeFoldersWhenPassed);

}  // namespace

std::string MakeTempFolder(const std::string& name) {
    char base[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, base);
    const std::string folder =
        std::string(base) + "veldrin-tests\\" + name + "-" + std::to_string(GetCurrentProcessId());
    RemoveFolderTree(folder);
    MakeFolders(folder);
    MadeFolders().insert(folder);
    return folder;
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << bytes;
}

std::string ReadFile(const std::string& path, bool* exists) {
    std::ifstream in(path, std::ios::binary);
    if (exists) *exists = static_cast<bool>(in);
    std::ostringstream bytes;
    if (in) bytes << in.rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

#ifdef _WIN32
void RemoveFolderTree(const std::string& path) {
    if (!FileExists(path)) return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveFolderTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}
#else
// The native build takes a backslash as a plain character: a file written as
// "<folder>\\name" is a file beside the folder whose name starts with the folder's. Both go.
void RemoveFolderTree(const std::string& path) {
    const std::filesystem::path folder(path);
    std::error_code ignored;
    if (!std::filesystem::exists(folder.parent_path(), ignored)) return;
    const std::string stem = folder.filename().string();
    for (const auto& entry : std::filesystem::directory_iterator(folder.parent_path(), ignored))
        if (entry.path().filename().string().rfind(stem, 0) == 0) std::filesystem::remove_all(entry.path(), ignored);
}
#endif

void MakeFolders(const std::string& path) { SHCreateDirectoryExA(nullptr, path.c_str(), nullptr); }

void CopyFileTo(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw std::runtime_error("cannot copy " + from + " to " + to);
}

}  // namespace test
