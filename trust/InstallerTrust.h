// The prelaunch verification of the run sequence: the installer is opened so
// that it cannot change until the run ends, then its signature must be the
// maker's.
#pragma once

#include "support/system/UniqueHandle.h"

#include <string>

namespace pxLib {

// The verdict for an installer that is not the maker's (TRUST_E_SUBJECT_NOT_TRUSTED).
constexpr HRESULT kInstallerNotTrusted = static_cast<HRESULT>(0x800B0004u);
// The path named no disk file (a pipe, a device): ERROR_BAD_FILE_TYPE.
constexpr HRESULT kInstallerNotADiskFile = static_cast<HRESULT>(0x800700DEu);

// Opens path for reading (others may only read) into heldFile, which the
// caller keeps until the installer has been started, and verifies it at the
// maker's level. S_OK when trusted; the system error as an HRESULT when the
// file cannot be opened; kInstallerNotADiskFile when it is no disk file; the
// verifier factory's failure; else kInstallerNotTrusted.
[[nodiscard]] HRESULT VerifyInstallerTrust(const std::wstring& path, UniqueHandle& heldFile);

}  // namespace pxLib
