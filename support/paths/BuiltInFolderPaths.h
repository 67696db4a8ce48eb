// Where the built-in folder names lead on this machine.
#pragma once

#include <string>

namespace pxLib {

// The folder of a built-in name (see BuiltInFolders.h); false when the name is
// not built in or its folder cannot be found.
[[nodiscard]] bool ResolveBuiltInFolder(const std::u16string& name, std::u16string& path);

// The silo data folder beneath the shell folder csidl: that folder, then the
// application folder name ("%APPDATAEXTENSION%" expanded, else "Tavrilon", at
// most 49 characters), then the silo.
[[nodiscard]] bool SiloDataFolder(int csidl, std::u16string& path);

}  // namespace pxLib
