// The product's path expansion map in the registry, opened once per process.
#pragma once

#include <string>

namespace pxLib {

// Opens HKLM\<product registry root>\Plexor\PathExpansionMap for reading in the
// product's registry view, unless an earlier call did. False while the root is
// unset or the key cannot be opened; a later call tries again.
[[nodiscard]] bool OpenPathExpansionMap();

// After OpenPathExpansionMap: the string value named name, else the "Path64"
// value of the subkey named name. REG_SZ and REG_EXPAND_SZ are used as
// stored; other types and odd byte lengths count as missing.
[[nodiscard]] bool LookUpPathExpansionMap(const std::u16string& name, std::u16string& value);

}  // namespace pxLib
