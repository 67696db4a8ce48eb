// The user a token belongs to.
#pragma once

#include <windows.h>

#include "support/security/Sid.h"

namespace ZOLT {

// Reads TokenUser (asking for its size first) and copies its SID; the Win32
// error when it cannot.
DWORD ReadTokenUser(HANDLE token, SidValue& user);

}  // namespace ZOLT
