// The module this code was linked into: the DLL in the product, the program
// itself in tests and tools.
#pragma once

#include <windows.h>

#include <string>

namespace pxLib {

HINSTANCE CurrentModule();
// The module's full file path ("" when it cannot be read).
std::wstring CurrentModulePath();

}  // namespace pxLib
