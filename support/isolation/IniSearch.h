// The upward search for a side file such as "isolate.ini": the start folder,
// then each parent, up to the root of the drive or of a network share.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pxLib {

// Win32 codes, spelled out so the search stays platform-independent.
constexpr uint32_t kSearchFound = 0;           // ERROR_SUCCESS
constexpr uint32_t kSearchNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr uint32_t kSearchPathTooLong = 1359;  // ERROR_FILENAME_EXCED_RANGE
constexpr size_t kMaxSearchPathChars = 260;    // MAX_PATH

struct FileSearchResult {
    std::u16string path;  // the file found, else empty
    uint32_t error = kSearchNotFound;
};

// Looks for fileName in folder and its parents. A candidate path longer than
// kMaxSearchPathChars ends the search with kSearchPathTooLong. Both separators
// are understood, as are "\\?\" and UNC forms; a bare "\\server" is not searched.
FileSearchResult FindFileUpward(std::u16string_view folder, std::u16string_view fileName,
                                const std::function<bool(const std::u16string&)>& fileExists);

}  // namespace pxLib
