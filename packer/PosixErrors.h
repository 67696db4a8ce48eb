// Helpers of the native build's file services: errno as the matching Win32
// error, UTF-16 paths as the system's UTF-8, and folder creation.
#pragma once

#include "packer/PackerResult.h"

#include <string>

namespace ZOLT {

[[nodiscard]] HRESULT FromErrno(int error);
std::string NativePath(const std::u16string& path);
// Whether the folder that holds path exists.
[[nodiscard]] bool FolderOfExists(const std::string& path);
// Creates the folder that holds path with all its missing parents.
[[nodiscard]] bool CreateFolderOf(const std::string& path);

}  // namespace ZOLT
