#include "trust/WinTrustVerifier.h"

#include "support/logging/Trace.h"

#include <softpub.h>
#include <wintrust.h>

namespace pxLib {
namespace {
const TraceSource kTraceSource{
    {0x91d04f6e, 0x2a58, 0x4b17, {0xa0, 0x6c, 0x3f, 0x88, 0x1e, 0x57, 0xd4, 0x02}}};
enum TraceEvent : uint16_t { kNotTrusted = 1 };
}  // namespace

HRESULT CWinTrustVerifier::VerifyFile(const std::wstring& path, HANDLE heldFile) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    file.hFile = heldFile;  // judge the very file the caller holds open

    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;

    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    if (status != 0) Trace(kTraceSource, TraceLevel::Information, kNotTrusted, path, status);
    return static_cast<HRESULT>(status);
}

}  // namespace pxLib
