#include "support/security/TokenUser.h"

#include <vector>

namespace ZOLT {

DWORD ReadTokenUser(HANDLE token, SidValue& user) {
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, nullptr, 0, &size)) return ERROR_INVALID_DATA;
    const DWORD sizeError = GetLastError();
    if (sizeError != ERROR_INSUFFICIENT_BUFFER) return sizeError;
    std::vector<DWORD> buffer((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    if (!GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return GetLastError();
    SidValue copy = SidValue::CopyOf(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
    if (copy.Empty()) return ERROR_INVALID_SID;
    user = std::move(copy);
    return ERROR_SUCCESS;
}

}  // namespace ZOLT
