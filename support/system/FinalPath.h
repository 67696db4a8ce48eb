// The path of an open file as the file system resolved it: every link,
// junction and relative part already followed.
#pragma once

#include <windows.h>

#include <string>

namespace pxLib {

// The plain drive-letter ("C:\...") or UNC ("\\server\share\...") form.
// False, with the thread's last error set, when it cannot be read.
[[nodiscard]] bool FinalPathOf(HANDLE file, std::wstring& path);

}  // namespace pxLib
