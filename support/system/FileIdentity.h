// Whether a path names a file already held open: the volume and the file id
// decide, not the path's text, which path rules and links may lead elsewhere.
#pragma once

#include <windows.h>

#include <string>

namespace pxLib {

// True when path, opened for its attributes only and with any sharing, is
// the held file. False otherwise, with the thread's last error: the open's or
// the query's, or ERROR_FILE_INVALID when path names another file.
[[nodiscard]] bool PathNamesHeldFile(const std::wstring& path, HANDLE held);

}  // namespace pxLib
