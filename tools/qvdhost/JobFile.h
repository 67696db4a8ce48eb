// Reading a job file: UTF-8 (with or without BOM) or UTF-16LE with BOM.
#pragma once

#include <string>

namespace qvdhost {

[[nodiscard]] bool ReadJobFile(const std::wstring& path, std::wstring& text, std::wstring& error);

}  // namespace qvdhost
