#include "job/RebootMark.h"

#include "job/InstStubPath.h"
#include "support/errors/GuardedCall.h"
#include "support/logging/Log.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

const char16_t kSource[] = u"RebootMark";
const wchar_t kHalvexKey[] = L"SOFTWARE\\Halvex";
const wchar_t kMarkKeyParent[] = L"Software\\Halvex\\";
const wchar_t kMarkValue[] = L"QVDInstallPendingReboot";
constexpr DWORD kMarkSet = 1;

// Read, set value, create subkey, enumerate, notify.
constexpr REGSAM kMarkAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
static_assert(kMarkAccess == 0x2001F);

// The mark key's name beneath Software\Halvex: no separator before the job id.
std::wstring MarkKeyName(const JobReader& reader) {
    std::u16string id;
    reader.JobId(id);
    return L"QVDPlugin" + pxLib::ToWide(id);
}

}  // namespace

std::wstring RebootMarkKeyName(const JobReader& reader) {
    return kMarkKeyParent + MarkKeyName(reader);
}

void SetRebootRequired(const JobReader& reader) {
    // Failures are logged and absorbed: the run goes on without it.
    static_cast<void>(pxLib::GuardedCall(kSource, __LINE__, false, [&] {
        const std::wstring name = RebootMarkKeyName(reader);
        pxLib::RegistryKey mark;
        if (mark.Open(HKEY_CURRENT_USER, name.c_str(), kMarkAccess)) {
            pxLib::LogError(
                L"qvd::plugin::QVDPluginImpl::SetRebootRequired(1843) : Reboot key is already "
                L"created!!!");
            return false;
        }
        if (!mark.Create(HKEY_CURRENT_USER, name.c_str(), kMarkAccess, REG_OPTION_NON_VOLATILE)) {
            pxLib::LogError(
                L"qvd::plugin::QVDPluginImpl::SetRebootRequired(1824) : Failed to create registry "
                L"key %s, error=%d",
                name, mark.LastError());
            return false;
        }
        if (!mark.SetDWORD(kMarkValue, kMarkSet)) {
            pxLib::LogError(
                L"qvd::plugin::QVDPluginImpl::SetRebootRequired(1837) : Failed to set reboot "
                L"registry key. error=%d",
                mark.LastError());
            return false;
        }
        return true;
    }));
}

bool CheckRebootFromLastRun(const JobReader& reader) {
    return pxLib::GuardedCall(kSource, __LINE__, false, [&] {
        const std::wstring name = RebootMarkKeyName(reader);
        pxLib::RegistryKey mark;
        if (!mark.Open(HKEY_CURRENT_USER, name.c_str(), kMarkAccess)) {
            pxLib::LogInformation(
                L"qvd::plugin::QVDPluginImpl::CheckRebootFromLastRun(1746) : Failed to open "
                L"registry key %s, error=%d",
                name, mark.LastError());
            return false;
        }
        // Only a DWORD is a mark; its number does not matter.
        DWORD value = 0;
        if (!mark.QueryDWORD(kMarkValue, value)) return false;
        pxLib::LogInformation(
            L"qvd::plugin::QVDPluginImpl::CheckRebootFromLastRun(1758) : RebootKey us set from "
            L"previous install");
        // The restart is behind us even when the mark cannot be taken away.
        static_cast<void>(mark.DeleteValue(kMarkValue));
        mark.Close();

        pxLib::RegistryKey halvex;
        if (!halvex.Open(HKEY_CURRENT_USER, kHalvexKey, KEY_ALL_ACCESS)) {
            pxLib::LogError(
                L"qvd::plugin::QVDPluginImpl::CheckRebootFromLastRun(1778) : Failed to open "
                L"HKCU\\Software\\Halvex with all access, error = %d",
                halvex.LastError());
        } else if (!halvex.DeleteSubKey(MarkKeyName(reader).c_str())) {
            pxLib::LogError(
                L"qvd::plugin::QVDPluginImpl::CheckRebootFromLastRun(1786) : Failed to delete "
                L"plugin reboot key, error = %d",
                halvex.LastError());
        }
        return true;
    });
}

void RecordRestartState(const JobReader& reader) {
    RecordInstStubPath(reader);
    SetRebootRequired(reader);
}

}  // namespace qvd::job
