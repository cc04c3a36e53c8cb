// The built Veldrin.dll as a file: what the script extender and Windows see of it.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "e2e/GameFolder.h"
#include "support/TempFiles.h"

namespace {

// Just enough of a PE reader to list a DLL's exported names and imported modules.
class PeImage {
public:
    explicit PeImage(std::string bytes) : bytes_(std::move(bytes)) {
        const auto& dos = At<IMAGE_DOS_HEADER>(0);
        nt_ = &At<IMAGE_NT_HEADERS32>(dos.e_lfanew);
        const auto* sections = reinterpret_cast<const IMAGE_SECTION_HEADER*>(
            reinterpret_cast<const char*>(&nt_->OptionalHeader) + nt_->FileHeader.SizeOfOptionalHeader);
        sections_.assign(sections, sections + nt_->FileHeader.NumberOfSections);
    }

    const IMAGE_NT_HEADERS32& Headers() const { return *nt_; }

    std::vector<std::string> ExportedNames() const {
        const auto& directory = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
        if (directory.VirtualAddress == 0) return {};
        const auto& exports = At<IMAGE_EXPORT_DIRECTORY>(Offset(directory.VirtualAddress));
        std::vector<std::string> names;
        for (DWORD i = 0; i < exports.NumberOfNames; ++i) {
            const DWORD nameRva = At<DWORD>(Offset(exports.AddressOfNames) + 4 * i);
            names.emplace_back(&bytes_[Offset(nameRva)]);
        }
        EXPECT_EQ(exports.NumberOfFunctions, exports.NumberOfNames) << "no exports by ordinal only";
        return names;
    }

    std::vector<std::string> ImportedModules() const {
        const auto& directory = nt_->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        std::vector<std::string> modules;
        for (std::size_t at = Offset(directory.VirtualAddress);; at += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto& import = At<IMAGE_IMPORT_DESCRIPTOR>(at);
            if (import.Name == 0) break;
            modules.emplace_back(&bytes_[Offset(import.Name)]);
        }
        return modules;
    }

private:
    template <class T>
    const T& At(std::size_t offset) const {
        if (offset + sizeof(T) > bytes_.size()) throw std::out_of_range("outside the image");
        return *reinterpret_cast<const T*>(bytes_.data() + offset);
    }

    std::size_t Offset(DWORD rva) const {
        for (const IMAGE_SECTION_HEADER& section : sections_)
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.Misc.VirtualSize)
                return rva - section.VirtualAddress + section.PointerToRawData;
        throw std::out_of_range("address in no section");
    }

    std::string bytes_;
    const IMAGE_NT_HEADERS32* nt_ = nullptr;
    std::vector<IMAGE_SECTION_HEADER> sections_;
};

PeImage BuiltPlugin() {
    bool exists = false;
    std::string bytes = test::ReadFile(std::string(test::kBuiltGame) + "\\Data\\SKSE\\Plugins\\Veldrin.dll", &exists);
    if (!exists) throw std::runtime_error("Veldrin.dll was not built");
    return PeImage(std::move(bytes));
}

TEST(ModuleImage, A32BitDllExportingExactlyTheTwoEntryPointsUndecorated) {
    const PeImage image = BuiltPlugin();
    EXPECT_EQ(image.Headers().FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(image.Headers().FileHeader.Characteristics & IMAGE_FILE_DLL);
    std::vector<std::string> names = image.ExportedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"SKSEPlugin_Load", "SKSEPlugin_Query"}));
}

TEST(ModuleImage, CarriesAVersionResource) {
    bool exists = false;
    const std::string bytes =
        test::ReadFile(std::string(test::kBuiltGame) + "\\Data\\SKSE\\Plugins\\Veldrin.dll", &exists);
    ASSERT_TRUE(exists);
    const auto wide = [](const std::string& text) {
        std::string utf16;
        for (char c : text) utf16 += std::string{c, '\0'};
        return utf16;
    };
    for (const char* key : {"FileVersion", "ProductVersion"}) {
        const std::size_t at = bytes.find(wide(key));
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_NE(bytes.find(wide(VELDRIN_VERSION), at), std::string::npos) << key;
    }
    EXPECT_NE(bytes.find(wide("Veldrin: target lock for Skyrim (SKSE plugin)")), std::string::npos);
}

TEST(ModuleImage, NeedsNothingButWindowsOwnLibraries) {
    const std::set<std::string> windows = {"kernel32.dll", "msvcrt.dll", "shell32.dll", "shlwapi.dll",
                                           "user32.dll",   "advapi32.dll", "ole32.dll"};
    const std::vector<std::string> imports = BuiltPlugin().ImportedModules();
    EXPECT_FALSE(imports.empty());
    for (std::string module : imports) {
        std::transform(module.begin(), module.end(), module.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(windows.count(module)) << module << " would have to ship beside the plugin";
    }
}

}  // namespace
