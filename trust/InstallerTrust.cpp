#include "trust/InstallerTrust.h"

#include "support/errors/LastError.h"
#include "support/logging/Trace.h"
#include "support/system/SubjectFile.h"
#include "trust/VerifyTrustFactory.h"

namespace pxLib {
namespace {
const TraceSource kTraceSource{
    {0x91d04f6e, 0x2a58, 0x4b17, {0xa0, 0x6c, 0x3f, 0x88, 0x1e, 0x57, 0xd4, 0x02}}};
enum class TraceEvent : uint16_t { NotOpened = 1, VerifierFailed, Trusted, NotTrusted, NotADisk };
}  // namespace

HRESULT VerifyInstallerTrust(const std::wstring& path, UniqueHandle& heldFile) {
    heldFile.reset(CreateFileW(path.c_str(), FILE_READ_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, kSubjectOpenFlags, nullptr));
    if (!heldFile) {
        const HRESULT hr = HResultFromLastError();
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotOpened, path, hr);
        return hr;
    }
    // A pipe or a device is no installer, whatever its server would send.
    const DWORD type = GetFileType(heldFile.get());
    if (type != FILE_TYPE_DISK) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotADisk, path, type);
        return kInstallerNotADiskFile;
    }
    RefPtr<IVerifyTrust> verifier;
    const HRESULT created = GetTrustVerifier(verifier);
    if (FAILED(created)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::VerifierFailed, created);
        return created;
    }
    // The module's own verifier judges the very file held open; one from
    // another module judges it by path, which names the same held file.
    RefPtr<IVerifyHeldFile> heldVerifier;
    const ValidationError result =
        ObjSucceeded(QueryInto(verifier.get(), IID_IVerifyHeldFile, heldVerifier)) && heldVerifier
            ? heldVerifier->VerifyHeldFile(path.c_str(), TrustLevel::SignedByMaker, heldFile.get())
            : verifier->VerifyFile(path.c_str(), TrustLevel::SignedByMaker);
    if (result == ValidationError::VT_TRUSTED) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::Trusted, path);
        return S_OK;
    }
    // A signature that fails is an answer; anything else is a failure to judge.
    Trace(kTraceSource,
          result == ValidationError::VT_NOT_TRUSTED ? TraceLevel::Information : TraceLevel::Error,
          TraceEvent::NotTrusted, path, ToUInt(result));
    return kInstallerNotTrusted;
}

}  // namespace pxLib
