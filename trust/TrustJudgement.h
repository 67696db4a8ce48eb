// One judgement of the platform's trust provider whose state is kept until
// the holder ends, so that the signer examined afterwards is the one the
// provider judged, not one read again from the file.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <mscat.h>

#include <string>

namespace pxLib {

// What every call of one verification shares: the action and the revocation
// settings.
struct TrustSettings {
    GUID action;
    DWORD revocationChecks;
    DWORD providerFlags;
};

class TrustJudgement {
public:
    explicit TrustJudgement(const TrustSettings& settings) : m_settings(settings) {}
    // Closes the provider's state.
    ~TrustJudgement();
    TrustJudgement(const TrustJudgement&) = delete;
    TrustJudgement& operator=(const TrustJudgement&) = delete;

    // The file's embedded signature; read through file when one is given,
    // the path then only names it.
    LONG JudgeFile(const std::wstring& path, HANDLE file);
    // A catalog's word on a member file (memberFile as above).
    LONG JudgeCatalogMember(const std::wstring& catalog, const std::wstring& memberTag,
                            const std::wstring& memberPath, HANDLE memberFile, HCATADMIN admin);
    // The first signer's own certificate as the provider judged it, owned by
    // the holder; null when the provider kept none.
    PCCERT_CONTEXT Signer() const;

private:
    LONG Judge(DWORD unionChoice);

    TrustSettings m_settings;
    WINTRUST_DATA m_data{};
    WINTRUST_FILE_INFO m_file{};
    WINTRUST_CATALOG_INFO m_catalog{};
    std::wstring m_subject;
    std::wstring m_memberTag;
    std::wstring m_memberPath;
    bool m_judged = false;
};

}  // namespace pxLib
