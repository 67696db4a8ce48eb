// The run sequence's installed check: is this version of the product (or a
// newer one) installed, so that the installer need not run?
#include "plugin/QVDPluginImpl.h"

#include "job/InstallCacheProof.h"
#include "job/JobDescription.h"
#include "job/VersionCompare.h"
#include "support/isolation/IsolationSettings.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace qvd::plugin {

bool QVDPluginImpl::isProductInstalled(bool followUp) {
    // Each check judges afresh: flags of an earlier check must not carry over.
    m_bSameVersionInstalled = false;
    m_bNotOlderInstalled = false;
    const job::JobReader reader{m_job};
    std::u16string silo;
    if (!reader.HasProductData() || !reader.Silo(silo)) return false;

    pxLib::RegistryKey productKey;
    const std::wstring productPath = L"SOFTWARE\\Halvex\\" + pxLib::ToWide(silo);
    if (!productKey.Open(HKEY_LOCAL_MACHINE, productPath.c_str(),
                         KEY_READ | pxLib::IsolationSettings::RegistryView()))
        return false;

    const std::u16string wantedVersion = reader.ProductVersion();
    const std::u16string versionValue = reader.ProductVersionKey();
    std::wstring installedVersion;
    if (!versionValue.empty() &&
        !productKey.QueryString(pxLib::AsWide(versionValue), installedVersion))
        return false;
    switch (job::CompareInstalledVersion(wantedVersion, pxLib::ToU16(installedVersion))) {
        case job::VersionOrder::Same:
            m_bSameVersionInstalled = true;
            m_bNotOlderInstalled = true;
            break;
        case job::VersionOrder::Newer:
            m_bNotOlderInstalled = true;
            break;
        case job::VersionOrder::Older:
            break;
    }

    if (m_bSameVersionInstalled) {
        std::wstring productId;
        if (!productKey.QueryString(L"PRODUCTID", productId)) return false;
        if (pxLib::ToU16(productId) != reader.RunKey()) m_bSameVersionInstalled = false;
    }
    if (!m_bSameVersionInstalled && !m_bNotOlderInstalled) return false;
    if (!followUp && m_bForceOverinstall) return false;

    return job::InstallCacheShowsProductInstalled(reader);
}

}  // namespace qvd::plugin
