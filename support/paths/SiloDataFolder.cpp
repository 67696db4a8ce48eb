#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <new>

#include "support/errors/GuardedCall.h"
#include "support/isolation/IsolationSettings.h"
#include "support/logging/Trace.h"
#include "support/paths/BuiltInFolderPaths.h"
#include "support/paths/PathExpansion.h"
#include "support/system/ThreadSlot.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x9778ae2f, 0xf527, 0x4862, {0xa1, 0x04, 0x59, 0x35, 0x24, 0x02, 0xe0, 0xe4}}};
enum class TraceEvent : uint16_t {
    Reentered = 1,
    SpecialFolderFailed = 2,
    PathAppendFailed = 3,
};

const char16_t kAppDataExtension[] = u"%APPDATAEXTENSION%";
const char16_t kDefaultAppFolder[] = u"Tavrilon";
// The name is copied into a buffer of 50 characters, terminator included.
constexpr size_t kMaxAppFolderChars = 49;

// Set while this thread works out a silo data folder. "%APPDATAEXTENSION%"
// may lead back to a silo data folder, which would expand it again without
// end; the nested request fails instead, so the default name is used.
// A mark that cannot be stored fails the request the same way.
ThreadSlot g_resolving;

class ResolvingSiloDataFolder {
public:
    ResolvingSiloDataFolder() : m_marked(g_resolving.Set(1)) {}
    ~ResolvingSiloDataFolder() {
        if (m_marked) static_cast<void>(g_resolving.Set(0));
    }
    bool Marked() const { return m_marked; }
    ResolvingSiloDataFolder(const ResolvingSiloDataFolder&) = delete;
    ResolvingSiloDataFolder& operator=(const ResolvingSiloDataFolder&) = delete;

private:
    bool m_marked;
};

std::wstring AppFolderName() {
    std::u16string name;
    if (!ExpandPath(kAppDataExtension, name)) name = kDefaultAppFolder;
    if (name.size() > kMaxAppFolderChars) name.resize(kMaxAppFolderChars);
    return ToWide(name);
}

bool BuildSiloDataFolder(int csidl, std::u16string& path) {
    const std::wstring appFolder = AppFolderName();
    const std::wstring silo = ToWide(IsolationSettings::Silo());
    wchar_t buffer[MAX_PATH + 1] = {};
    if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SpecialFolderFailed,
              static_cast<uint32_t>(csidl));
        return false;
    }
    if (!PathAppendW(buffer, appFolder.c_str()) || !PathAppendW(buffer, silo.c_str())) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::PathAppendFailed,
              static_cast<uint32_t>(csidl), appFolder, silo);
        return false;
    }
    path = ToU16(buffer);
    return true;
}

}  // namespace

bool SiloDataFolder(int csidl, std::u16string& path) {
    if (g_resolving.Get() != 0) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::Reentered, static_cast<uint32_t>(csidl));
        return false;
    }
    const ResolvingSiloDataFolder guard;
    if (!guard.Marked()) return false;
    return GuardedAllocation(u"pxPathExpansion", __LINE__, false,
                             [&] { return BuildSiloDataFolder(csidl, path); });
}

}  // namespace pxLib
