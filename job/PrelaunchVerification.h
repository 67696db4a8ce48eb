// The check just before the launch: the installer file is opened, held so
// that it cannot change until the run ends, and its signature verified.
#pragma once

#include "support/system/UniqueHandle.h"

#include <string>

namespace qvd::job {

// S_OK when the held file is the maker's signed installer; launchPath then
// names that very file as the file system resolved it, proven to lead back to
// it, so that a link, a relative path, a trimmed name or a variable's text
// cannot lead the launch to another file (ERROR_FILE_INVALID when it could).
// Otherwise the failure, logged.
[[nodiscard]] HRESULT VerifyInstallerBeforeLaunch(const std::wstring& installerPath,
                                                  pxLib::UniqueHandle& held,
                                                  std::wstring& launchPath);

}  // namespace qvd::job
