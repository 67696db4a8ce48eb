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

bool IsProductInstalled(const JobReader& reader, InstalledCheckKind kind, bool forceOverinstall) {
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
    const VersionOrder order =
        CompareInstalledVersion(reader.ProductVersion(), pxLib::ToU16(installedVersion));
    if (order == VersionOrder::Older) return false;
    if (order == VersionOrder::Same) {
        // The same version needs the product id value; which id it holds does
        // not matter, as the version is not older either way.
        std::wstring productId;
        if (!productKey.QueryString(kProductIdValue, productId)) return false;
    }
    if (kind == InstalledCheckKind::First && forceOverinstall) return false;

    return InstallCacheShowsProductInstalled(reader);
}

}  // namespace qvd::job
