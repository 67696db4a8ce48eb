// The prelaunch verification of the run sequence: the installer is opened so
// that it cannot change until the run ends, then its signature is verified.
#pragma once

#include "support/system/UniqueHandle.h"

#include <string>

namespace pxLib {

// Opens path for reading (others may only read) into heldFile, which the
// caller keeps until the installer has been started, and verifies it.
// S_OK when trusted; the system error as an HRESULT when the file cannot be opened.
HRESULT VerifyInstallerTrust(const std::wstring& path, UniqueHandle& heldFile);

}  // namespace pxLib
