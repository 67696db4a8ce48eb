#include "TrustTestSupport.h"

#include <gtest/gtest.h>

#include <vector>

namespace qvdtest {

UniqueCertificate LoadTestCertificate(const std::string& name) {
    const std::string pem =
        ReadFileUtf8(WinePath(std::string(QVD_TEST_PKI_DIR) + "/" + name + ".crt"));
    DWORD size = 0;
    if (pem.empty() ||
        !CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr)) {
        ADD_FAILURE() << "no certificate " << name;
        return UniqueCertificate();
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.c_str(), static_cast<DWORD>(pem.size()), CRYPT_STRING_BASE64HEADER,
                         der.data(), &size, nullptr, nullptr);
    return UniqueCertificate(CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), size));
}

UniqueCertificate SignerOfFile(const std::wstring& path) {
    DWORD encoding = 0, contentType = 0, formatType = 0;
    pxLib::UniqueCertificateStore store;
    pxLib::UniqueCryptMessage message;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                          0, &encoding, &contentType, &formatType, store.put(), message.put(),
                          nullptr))
        return UniqueCertificate();
    UniqueCertificate signer;
    DWORD size = 0;
    if (CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size)) {
        std::vector<BYTE> buffer(size);
        if (CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size)) {
            const auto* info = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
            CERT_INFO wanted{};
            wanted.Issuer = info->Issuer;
            wanted.SerialNumber = info->SerialNumber;
            signer.reset(CertFindCertificateInStore(store.get(),
                                                    X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                    CERT_FIND_SUBJECT_CERT, &wanted, nullptr));
        }
    }
    return signer;
}

std::wstring ShimPath() {
    return WinePath(QVD_TEST_SHIM_EFI);
}

std::wstring CatalogFixture(const wchar_t* name) {
    return WinePath(QVD_TEST_CATALOGS_DIR) + L"\\" + name + L".cat";
}

std::wstring ModulesDir(const wchar_t* folder) {
    return WinePath(QVD_TEST_MODULES_DIR) + L"\\" + folder;
}

pxLib::RefPtr<pxLib::CVerifyTrust> NewVerifier() {
    pxLib::RefPtr<pxLib::CVerifyTrust> verifier(new pxLib::CVerifyTrust);
    verifier->SetProviderEnabled(false);
    EXPECT_EQ(verifier->Create(false), pxLib::ValidationError::VT_TRUSTED);
    return verifier;
}

LONG FakeTrustProvider::VerifyTrust(HWND window, GUID& action, WINTRUST_DATA& data) {
    // Closing a judgement's state judges nothing: the platform's, unrecorded.
    if (data.dwStateAction == WTD_STATEACTION_CLOSE)
        return pxLib::PlatformTrustProvider().VerifyTrust(window, action, data);
    Call call{action, data.dwUnionChoice, data.fdwRevocationChecks, data.dwProvFlags, {}, nullptr};
    if (data.dwUnionChoice == WTD_CHOICE_FILE) {
        call.subject = data.pFile->pcwszFilePath;
        call.file = data.pFile->hFile;
    } else if (data.dwUnionChoice == WTD_CHOICE_CATALOG) {
        call.subject = data.pCatalog->pcwszCatalogFilePath;
    }
    calls.push_back(call);
    if (delayMs) Sleep(delayMs);
    // The platform judges every call, so that its state holds the signer; an
    // answer of the test replaces only the result.
    const LONG judged = pxLib::PlatformTrustProvider().VerifyTrust(window, action, data);
    return answer ? answer(call) : judged;
}

bool FakeTrustProvider::PolicyFlags(DWORD& flags) {
    if (!hasPolicy) return false;
    flags = policyFlags;
    return true;
}

ScopedTrustProvider::ScopedTrustProvider()
    : m_previous(pxLib::SetTrustProviderForTesting(&m_fake)) {}

ScopedTrustProvider::~ScopedTrustProvider() {
    pxLib::SetTrustProviderForTesting(m_previous);
}

}  // namespace qvdtest
