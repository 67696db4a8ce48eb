#include "support/paths/PathExpansionMap.h"

#include <windows.h>

#include <atomic>
#include <mutex>

#include "support/isolation/IsolationSettings.h"
#include "support/logging/Trace.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x98a2362f, 0x10dd, 0x4efd, {0x81, 0x02, 0x95, 0x10, 0x6d, 0xfe, 0x06, 0x18}}};
enum class TraceEvent : uint16_t {
    NoProductRoot = 1,
    MapKeyNotOpened = 2,
    TokenNotMapped = 3,
};

const char16_t kMapKeySuffix[] = u"\\Plexor\\PathExpansionMap";
const wchar_t kPath64Value[] = L"Path64";

// The key is written once under the lock and published by the flag; after
// that its handle is only read, by any thread.
struct MapKey {
    std::mutex lock;
    std::atomic<bool> opened{false};
    RegistryKey key;
};

MapKey& Map() {
    static MapKey map;
    return map;
}

REGSAM ReadAccess() {
    return KEY_READ | IsolationSettings::RegistryView();
}

}  // namespace

bool OpenPathExpansionMap() {
    MapKey& map = Map();
    if (map.opened.load(std::memory_order_acquire)) return true;
    std::lock_guard<std::mutex> guard(map.lock);
    if (map.opened.load(std::memory_order_relaxed)) return true;
    const std::u16string root = IsolationSettings::ProductRegistryRoot();
    if (root.empty()) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoProductRoot);
        return false;
    }
    const std::u16string path = root + kMapKeySuffix;
    if (!map.key.Open(HKEY_LOCAL_MACHINE, AsWide(path), ReadAccess())) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::MapKeyNotOpened, path,
              map.key.LastError());
        return false;
    }
    map.opened.store(true, std::memory_order_release);
    return true;
}

bool LookUpPathExpansionMap(const std::u16string& name, std::u16string& value) {
    MapKey& map = Map();
    if (!map.opened.load(std::memory_order_acquire)) return false;
    const HKEY mapKey = map.key.Handle();
    std::wstring text;
    // A handle of this call's own: a shared wrapper would race on its last error.
    RegistryKey values;
    if (values.Open(mapKey, L"", ReadAccess()) && values.QueryString(AsWide(name), text)) {
        value = ToU16(text);
        return true;
    }
    RegistryKey subkey;
    if (!subkey.Open(mapKey, AsWide(name), ReadAccess()) ||
        !subkey.QueryString(kPath64Value, text)) {
        Trace(kTraceSource, TraceLevel::Verbose, TraceEvent::TokenNotMapped, name);
        return false;
    }
    value = ToU16(text);
    return true;
}

}  // namespace pxLib
