// The built-in folder names that path tokens fall back on when the path
// expansion map does not define them: 60 rows sorted by name without regard
// to case, each with a shell folder id (CSIDL) or one of four private ids.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace pxLib {

// Private ids: no shell folder id has the top bit set.
constexpr uint32_t kCommonSiloDataFolder = 0xF0000000;         // silo data under CSIDL 35
constexpr uint32_t kLocalSiloDataFolder = 0xF0000001;          // silo data under CSIDL 28
constexpr uint32_t kProgramFilesX64Folder = 0xF0000002;        // "ProgramFilesDir"
constexpr uint32_t kProgramFilesCommonX64Folder = 0xF0000003;  // "CommonFilesDir"

struct BuiltInFolder {
    std::u16string_view name;
    uint32_t id;
};

constexpr size_t kBuiltInFolderCount = 60;
const std::array<BuiltInFolder, kBuiltInFolderCount>& BuiltInFolderTable();

// The order of the table: characters compared after ASCII lower-casing, so
// that "_" sorts before the letters.
int CompareFolderNames(std::u16string_view a, std::u16string_view b);

// Binary search of the table; null when the name is not there.
const BuiltInFolder* FindBuiltInFolder(std::u16string_view name);

}  // namespace pxLib
