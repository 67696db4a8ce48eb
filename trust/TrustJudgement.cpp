#include "trust/TrustJudgement.h"

#include "trust/TrustProvider.h"

namespace pxLib {

TrustJudgement::~TrustJudgement() {
    if (!m_judged) return;
    m_data.dwStateAction = WTD_STATEACTION_CLOSE;
    TrustProvider().VerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), m_settings.action, m_data);
}

LONG TrustJudgement::JudgeFile(const std::wstring& path, HANDLE file) {
    m_subject = path;
    m_file.cbStruct = sizeof(m_file);
    m_file.pcwszFilePath = m_subject.c_str();
    m_file.hFile = file;
    m_data.pFile = &m_file;
    return Judge(WTD_CHOICE_FILE);
}

LONG TrustJudgement::JudgeCatalogMember(const std::wstring& catalog, const std::wstring& memberTag,
                                        const std::wstring& memberPath, HANDLE memberFile,
                                        HCATADMIN admin) {
    m_subject = catalog;
    m_memberTag = memberTag;
    m_memberPath = memberPath;
    m_catalog.cbStruct = sizeof(m_catalog);
    m_catalog.dwCatalogVersion = 0;
    m_catalog.pcwszCatalogFilePath = m_subject.c_str();
    m_catalog.pcwszMemberTag = m_memberTag.c_str();
    m_catalog.pcwszMemberFilePath = m_memberPath.c_str();
    m_catalog.hMemberFile = memberFile;
    m_catalog.hCatAdmin = admin;
    m_data.pCatalog = &m_catalog;
    return Judge(WTD_CHOICE_CATALOG);
}

LONG TrustJudgement::Judge(DWORD unionChoice) {
    m_data.cbStruct = sizeof(m_data);
    m_data.dwUIChoice = WTD_UI_NONE;
    m_data.fdwRevocationChecks = m_settings.revocationChecks;
    m_data.dwUnionChoice = unionChoice;
    m_data.dwStateAction = WTD_STATEACTION_VERIFY;
    m_data.dwProvFlags = m_settings.providerFlags;
    m_judged = true;
    return TrustProvider().VerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), m_settings.action,
                                       m_data);
}

PCCERT_CONTEXT TrustJudgement::Signer() const {
    if (!m_data.hWVTStateData) return nullptr;
    CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(m_data.hWVTStateData);
    if (!provider) return nullptr;
    const CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer || signer->csCertChain == 0 || !signer->pasCertChain) return nullptr;
    return signer->pasCertChain[0].pCert;
}

}  // namespace pxLib
