// The side file "isolate.ini": where it is and what it says.
#pragma once

#include <string>

#include "support/isolation/IniSearch.h"

namespace pxLib {

// The nearest "isolate.ini" in the folder of this code's own module (the DLL
// in the product, the program in tests) or above it.
FileSearchResult LocateIsolateIni();

// The file's text, decoded; false when it cannot be read or is far larger
// than any real "isolate.ini".
[[nodiscard]] bool LoadIsolateIni(const std::u16string& path, std::u16string& text);

}  // namespace pxLib
