#include "job/InstalledCheck.h"

#include "job/InstallCacheProof.h"
#include "job/VersionCompare.h"
#include "support/isolation/IsolationSettings.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

const wchar_t kProductKeyPrefix[] = L"SOFTWARE\\Halvex\\";
const wchar_t kProductIdValue[] = L"PRODUCTID";

}  // namespace

bool IsProductInstalled(const JobReader& reader, InstalledCheckKind kind, bool forceOverinstall,
                        InstalledVersion& found) {
    // Each check judges afresh: what an earlier check found must not carry over.
    found = InstalledVersion{};
    std::u16string silo;
    if (!reader.HasProductData() || !reader.Silo(silo)) return false;

    pxLib::RegistryKey productKey;
    const std::wstring productPath = kProductKeyPrefix + pxLib::ToWide(silo);
    if (!productKey.Open(HKEY_LOCAL_MACHINE, productPath.c_str(),
                         KEY_READ | pxLib::IsolationSettings::RegistryView()))
        return false;

    const std::u16string versionValue = reader.ProductVersionKey();
    std::wstring installedVersion;
    if (!versionValue.empty() &&
        !productKey.QueryString(pxLib::AsWide(versionValue), installedVersion))
        return false;
    switch (CompareInstalledVersion(reader.ProductVersion(), pxLib::ToU16(installedVersion))) {
        case VersionOrder::Same:
            found.sameVersion = true;
            found.notOlder = true;
            break;
        case VersionOrder::Newer:
            found.notOlder = true;
            break;
        case VersionOrder::Older:
            break;
    }

    if (found.sameVersion) {
        std::wstring productId;
        if (!productKey.QueryString(kProductIdValue, productId)) return false;
        if (pxLib::ToU16(productId) != reader.RunKey()) found.sameVersion = false;
    }
    if (!found.sameVersion && !found.notOlder) return false;
    if (kind == InstalledCheckKind::First && forceOverinstall) return false;

    return InstallCacheShowsProductInstalled(reader);
}

}  // namespace qvd::job
