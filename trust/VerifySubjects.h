// The files behind the verifier's other subjects: a process's executable, the
// current process's parent, the module that holds an address, the server of
// a registered class.
#pragma once

#include "collections/factory/ObjectModel.h"

#include <windows.h>

#include <string>

namespace pxLib {

// The executable of a process (the current one by GetModuleFileNameW).
[[nodiscard]] bool ProcessImageFile(DWORD processId, std::wstring& path);
// The id of the current process's parent.
[[nodiscard]] bool ParentProcessId(DWORD& parentId);
// The file of the module whose allocation holds address.
[[nodiscard]] bool ModuleFileAt(const void* address, std::wstring& path);
// The default value of HKCR\CLSID\{id}\InprocServer32, else of LocalServer32.
[[nodiscard]] bool ClassServerFile(const Guid& classId, std::wstring& path);

}  // namespace pxLib
