#include "job/InstStubPath.h"

#include "support/cmdline/pxCommandLine.h"
#include "support/errors/GuardedCall.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

const char16_t kSource[] = u"InstStubPath";
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char16_t kSwitchCharacters[] = u"/-";

// Read, set value, create subkey, enumerate, notify.
constexpr REGSAM kRecordAccess = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;
static_assert(kRecordAccess == 0x2001F);

}  // namespace

bool ReadRunOnceCommandPath(const std::u16string& valueName, std::wstring& path) {
    pxLib::RegistryKey runOnce;
    if (!runOnce.Open(HKEY_LOCAL_MACHINE, kRunOnceKey, KEY_READ)) return false;
    std::wstring commandLine;
    if (!runOnce.QueryString(pxLib::AsWide(valueName), commandLine)) return false;
    pxLib::CCommandLine words;
    // A line that does not split has no program word.
    if (!words.Parse(pxLib::ToU16(commandLine), kSwitchCharacters)) return false;
    const auto& entries = words.GetEntries();
    // A line that starts with a switch names no program.
    if (entries.empty() || entries.front().m_bSwitch) return false;
    path = pxLib::ToWide(entries.front().m_strName);
    return true;
}

void RecordInstStubPath(const JobReader& reader) {
    // Failures are logged and absorbed: the run goes on without it.
    static_cast<void>(pxLib::GuardedCall(kSource, __LINE__, false, [&] {
        if (!reader.HasRunKey()) return false;
        std::wstring stub;
        if (!ReadRunOnceCommandPath(reader.RunKey(), stub)) return false;
        std::u16string jobId;
        reader.JobId(jobId);
        pxLib::RegistryKey recorded;
        return recorded.Open(HKEY_CURRENT_USER, kInstStubKey, kRecordAccess, true,
                             REG_OPTION_NON_VOLATILE) &&
               recorded.SetString(pxLib::AsWide(jobId), stub);
    }));
}

}  // namespace qvd::job
