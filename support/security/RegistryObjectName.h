// The name the security functions give a registry key (SE_REGISTRY_KEY).
#pragma once

#include <windows.h>

#include <string>

namespace ZOLT {

// "MACHINE", "CURRENT_USER", "USERS" or "CLASSES_ROOT", a backslash and the
// path. Any other root raises CRightsChecker::Exception (UnknownRootKey).
std::wstring RegistryObjectName(HKEY root, const std::wstring& path);

}  // namespace ZOLT
