// Path expansion: "%NAME%" tokens in a path are replaced by folders, each name
// looked up first in the product's path expansion map in the registry
// (HKLM\<product registry root>\Plexor\PathExpansionMap: a string value of
// that name, else the "Path64" value of a subkey of that name) and then among
// the built-in folder names (shell folders, the 64-bit program folders, the
// silo data folders). Windows build only.
//
// Before the first expansion the isolation settings must hold the product
// registry root (IsolationSettings::Initialise, then ProductRoot). The map key
// is opened on the first call that manages to and then kept for the module's
// lifetime; its values are read afresh on every call.
#pragma once

#ifdef _WIN32

#include <string>

namespace pxLib {

// True when every token was resolved; output is then the expanded path with
// doubled backslashes collapsed (a leading "\\" kept). False when the map key
// cannot be opened (output untouched, not even built-in names expand) and
// when a token cannot be expanded (output is the input so cleaned). Inputs
// shorter than 3 characters come back unchanged. Any thread may call it.
[[nodiscard]] bool ExpandPath(const std::u16string& input, std::u16string& output);

// The same for wide text; a null input is refused with the output untouched.
[[nodiscard]] bool ExpandPath(const wchar_t* input, std::wstring& output);

}  // namespace pxLib

#endif
