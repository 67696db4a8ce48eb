// What the trust tests share: the test PKI's certificates and signed
// fixtures, the test modules, verifiers, and the seam over the platform's
// trust provider.
#pragma once

#include "TestSupport.h"
#include "collections/factory/ObjectModel.h"
#include "support/system/Platform.h"
#include "trust/CertificateOwners.h"
#include "trust/TrustProvider.h"
#include "trust/VerifyTrust.h"

#include <functional>
#include <string>

namespace qvdtest {

using pxLib::UniqueCertificate;

// The two answers the tables of expected results are made of.
constexpr pxLib::ValidationError T = pxLib::ValidationError::VT_TRUSTED;
constexpr pxLib::ValidationError N = pxLib::ValidationError::VT_NOT_TRUSTED;
// Where a failed check searches the catalogs: Wine's catalog database has no
// SHA-256, so tests that may search them take the SHA-1 road of Windows 7.
const pxLib::OsVersion kWindows7{6, 1, 7601, true};

// A certificate of the test PKI by name ("maker", "other", ...).
UniqueCertificate LoadTestCertificate(const std::string& name);
// The signer's certificate of a signed file (the first signer of its message).
UniqueCertificate SignerOfFile(const std::wstring& path);

// Debian's signed shim (its signer is the Windows platform vendor).
std::wstring ShimPath();
// A catalog of the build's fixtures ("unsigned-by-maker").
std::wstring CatalogFixture(const wchar_t* name);
// A folder of test modules ("root", "provider", "objects\\maker").
std::wstring ModulesDir(const wchar_t* folder);

// A new verifier as the in-process factory leaves it (no provider, no cache).
pxLib::RefPtr<pxLib::CVerifyTrust> NewVerifier();

// The trust provider's answers given by the test; the calls are recorded.
class FakeTrustProvider final : public pxLib::ITrustProvider {
public:
    struct Call {
        GUID action;
        DWORD unionChoice;
        DWORD revocationChecks;
        DWORD providerFlags;
        std::wstring subject;  // the file, or the catalog
        HANDLE file;
    };
    LONG VerifyTrust(HWND window, GUID& action, WINTRUST_DATA& data) override;
    bool PolicyFlags(DWORD& flags) override;

    // Replaces the result of each call (the platform still judges it, so
    // that the signer is there to examine); by default the platform's answer.
    std::function<LONG(const Call&)> answer;
    bool hasPolicy = true;
    DWORD policyFlags = 0;
    DWORD delayMs = 0;
    std::vector<Call> calls;
};

// Installs a fake trust provider for the life of the object.
class ScopedTrustProvider {
public:
    ScopedTrustProvider();
    ~ScopedTrustProvider();
    FakeTrustProvider* operator->() { return &m_fake; }
    FakeTrustProvider& operator*() { return m_fake; }

private:
    FakeTrustProvider m_fake;
    pxLib::ITrustProvider* m_previous;
};

}  // namespace qvdtest
