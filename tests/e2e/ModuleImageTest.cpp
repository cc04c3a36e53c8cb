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

    // A name longer than eight bytes (".eh_frame", ".debug_info") is "/N" in its header:
    // the name stands at offset N of the string table that follows the symbol table.
    std::vector<std::string> SectionNames() const {
        const std::size_t strings =
            nt_->FileHeader.PointerToSymbolTable + std::size_t{nt_->FileHeader.NumberOfSymbols} * IMAGE_SIZEOF_SYMBOL;
        std::vector<std::string> names;
        for (const IMAGE_SECTION_HEADER& section : sections_) {
            std::string name(reinterpret_cast<const char*>(section.Name),
                             strnlen(reinterpret_cast<const char*>(section.Name), IMAGE_SIZEOF_SHORT_NAME));
            if (name.starts_with("/")) name = &At<char>(strings + std::stoul(name.substr(1)));
            names.push_back(name);
        }
        return names;
    }

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

// The DLL as built (with its symbols and debug data, for debugging) and the copy the zip
// ships, stripped of both: Windows and the script extender must see the same module.
struct PluginFile {
    const char* name;
    std::string path;
};

const PluginFile kPluginFiles[] = {
    {"Built", std::string(test::kBuiltGame) + "\\Data\\SKSE\\Plugins\\Veldrin.dll"},
    {"Shipped", test::kShippedPlugin},
};

class ModuleImage : public ::testing::TestWithParam<PluginFile> {
protected:
    std::string Bytes() const {
        bool exists = false;
        std::string bytes = test::ReadFile(GetParam().path, &exists);
        if (!exists) throw std::runtime_error(GetParam().path + " was not built");
        return bytes;
    }
};

TEST_P(ModuleImage, A32BitDllExportingExactlyTheTwoEntryPointsUndecorated) {
    const PeImage image(Bytes());
    EXPECT_EQ(image.Headers().FileHeader.Machine, IMAGE_FILE_MACHINE_I386);
    EXPECT_TRUE(image.Headers().FileHeader.Characteristics & IMAGE_FILE_DLL);
    std::vector<std::string> names = image.ExportedNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"SKSEPlugin_Load", "SKSEPlugin_Query"}));
}

TEST_P(ModuleImage, CarriesAVersionResource) {
    const std::string bytes = Bytes();
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

TEST_P(ModuleImage, NeedsNothingButWindowsOwnLibraries) {
    const std::set<std::string> windows = {"kernel32.dll", "msvcrt.dll",   "shell32.dll", "shlwapi.dll",
                                           "user32.dll",   "advapi32.dll", "ole32.dll"};
    const std::vector<std::string> imports = PeImage(Bytes()).ImportedModules();
    EXPECT_FALSE(imports.empty());
    for (std::string module : imports) {
        std::transform(module.begin(), module.end(), module.begin(), [](unsigned char c) { return std::tolower(c); });
        EXPECT_TRUE(windows.count(module)) << module << " would have to ship beside the plugin";
    }
}

INSTANTIATE_TEST_SUITE_P(Files, ModuleImage, ::testing::ValuesIn(kPluginFiles),
                         [](const ::testing::TestParamInfo<PluginFile>& file) { return std::string(file.param.name); });

TEST(ShippedModuleImage, CarriesNoSymbolsOrDebugData) {
    bool exists = false;
    const PeImage image(test::ReadFile(test::kShippedPlugin, &exists));
    ASSERT_TRUE(exists);
    EXPECT_EQ(image.Headers().FileHeader.NumberOfSymbols, 0u);
    const std::vector<std::string> sections = image.SectionNames();
    EXPECT_NE(std::find(sections.begin(), sections.end(), ".text"), sections.end());
    for (const std::string& section : sections) EXPECT_FALSE(section.starts_with(".debug")) << section << " ships";
    EXPECT_EQ(image.Headers().OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG].Size, 0u);
}

}  // namespace
