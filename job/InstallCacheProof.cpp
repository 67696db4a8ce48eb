#include "job/InstallCacheProof.h"

#include "job/SiteCode.h"
#include "launch/FileExists.h"
#include "packer/FileDataExtender.h"
#include "support/paths/PathExpansion.h"
#include "support/text/Utf.h"

#include <windows.h>

namespace qvd::job {
namespace {

constexpr uint64_t kSiteCodeRule = 1001;  // in install.dat: a site code may be needed;
                                          // in the layout data: 64 when it is
constexpr uint64_t kSiteCode = 1002;
constexpr uint32_t kLayoutWantsSiteCode = 64;

std::u16string InFolder(const std::u16string& folder, std::u16string_view name) {
    std::u16string path = folder;
    if (!path.empty() && path.back() != u'\\') path += u'\\';
    path += name;
    return path;
}

// The folder of the host's executable, ending in a backslash.
std::u16string HostFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    return pxLib::ToU16(path.substr(0, path.find_last_of(L'\\') + 1));
}

bool LayoutAsksForSiteCode(const JobReader& reader) {
    std::u16string payload;
    reader.PayloadDestination(payload);
    ZOLT::CIRT_FileDataExtender layout;
    if (FAILED(layout.Load(HostFolder() + payload)) || !layout.GetCollection()) return false;
    uint32_t rule = 0;
    int32_t signedRule = 0;
    if (layout.GetCollection()->GetUInt32(kSiteCodeRule, rule)) return rule == kLayoutWantsSiteCode;
    if (layout.GetCollection()->GetInt32(kSiteCodeRule, signedRule))
        return signedRule == static_cast<int32_t>(kLayoutWantsSiteCode);
    return false;
}

bool SiteCodeAllowsInstalled(const JobReader& reader, const pxLib::pxTavKeyValueCollection& data) {
    if (data.GetValueKind(kSiteCodeRule) == pxLib::ValueKind::Empty) return true;
    if (!LayoutAsksForSiteCode(reader)) return true;
    std::u16string expected, stored;
    if (!JobSiteCode(reader, expected) || !data.GetString(kSiteCode, stored)) return false;
    return pxLib::EqualsIgnoreAsciiCase(stored, expected);
}

}  // namespace

bool InstallCacheShowsProductInstalled(const JobReader& reader) {
    std::u16string unexpanded, folder;
    if (!reader.InstallCache(unexpanded) || !pxLib::ExpandPath(unexpanded, folder)) return false;
    ZOLT::CIRT_FileDataExtender installData;
    if (FAILED(installData.LoadFromStorage(InFolder(folder, u"install.dat"))) ||
        !installData.GetCollection())
        return false;
    if (!SiteCodeAllowsInstalled(reader, *installData.GetCollection())) return false;
    return launch::FileExists(pxLib::ToWide(InFolder(folder, u"finalzed.dat"))) == S_OK;
}

}  // namespace qvd::job
