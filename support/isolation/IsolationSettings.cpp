#include "support/isolation/IsolationSettings.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <optional>

#include "support/isolation/IniText.h"
#include "support/isolation/IsolateIni.h"
#include "support/logging/Trace.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x76421766, 0x1707, 0x4be3, {0x96, 0x52, 0x70, 0xc5, 0xd7, 0x1d, 0xa8, 0xe9}}};
enum class TraceEvent : uint16_t {
    InvalidSilo = 1,
    NoIsolateIni = 2,
    NoSiloValue = 3,
    SiloTooLong = 4,
    SiloNotGuid = 5,
    RegHiveTooLong = 6,
    RootNotOpened = 7,
    ProductRootBeforeInitialise = 8,
    ViewBeforeInitialise = 9,
    InvalidView = 10,
};

const char16_t kSection[] = u"isolation";
const char16_t kDefaultRegHive[] = u"Software\\Tavrilon\\Isolation";
const char16_t kProductRootPrefix[] = u"SOFTWARE\\Halvex\\";
// The value buffers of the profile reads: a value that fills one was cut short.
constexpr size_t kSiloChars = 39;
constexpr size_t kRegHiveChars = 99;

// Each setting is written once under the lock and published by its flag;
// readers that see the flag set read the value without the lock.
struct Settings {
    std::mutex lock;
    std::atomic<bool> initialised{false};
    std::atomic<bool> productRootSet{false};
    std::atomic<bool> viewSet{false};
    std::atomic<uint32_t> view{0};
    std::u16string silo;
    std::u16string isolationRoot;
    std::u16string productRoot;
};

Settings& State() {
    static Settings settings;
    return settings;
}

struct IsolateIniFile {
    bool present = false;
    std::u16string path;
    std::u16string text;

    std::optional<std::u16string> Value(const char16_t* key) const {
        if (!present) return std::nullopt;
        return FindIniValue(text, kSection, key);
    }
};

IsolateIniFile ReadIsolateIni() {
    IsolateIniFile ini;
    FileSearchResult found = LocateIsolateIni();
    if (found.error != kSearchFound) return ini;
    ini.path = std::move(found.path);
    ini.present = LoadIsolateIni(ini.path, ini.text);
    return ini;
}

// The caller's silo, else the file's; empty when neither is acceptable.
std::u16string ChooseSilo(const char16_t* silo, const IsolateIniFile& ini) {
    if (silo != nullptr) {
        std::u16string given(silo);
        if (IsValidSiloGuid(given)) return given;
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::InvalidSilo, given);
        return {};
    }
    if (!ini.present) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoIsolateIni);
        return {};
    }
    std::optional<std::u16string> value = ini.Value(u"silo");
    if (!value) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NoSiloValue, ini.path);
        return {};
    }
    if (value->size() >= kSiloChars) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SiloTooLong, ini.path,
              static_cast<uint32_t>(value->size()));
        return {};
    }
    if (!IsValidSiloGuid(*value)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SiloNotGuid, ini.path, *value);
        return {};
    }
    return *value;
}

// The isolated registry root: kept unless it is too long or its key cannot
// be opened for a reason other than being absent or locked.
std::u16string ChooseIsolatedRoot(const IsolateIniFile& ini, uint32_t view) {
    std::u16string root = ini.Value(u"reghive").value_or(kDefaultRegHive);
    if (root.size() >= kRegHiveChars) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::RegHiveTooLong,
              static_cast<uint32_t>(root.size()), static_cast<uint32_t>(ERROR_INSUFFICIENT_BUFFER));
        return {};
    }
    if (root.empty()) return root;
    RegistryKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, AsWide(root), KEY_READ | view) &&
        key.LastError() != ERROR_ACCESS_DENIED && key.LastError() != ERROR_FILE_NOT_FOUND) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::RootNotOpened, root, key.LastError());
        return {};
    }
    return root;
}

}  // namespace

bool IsolationSettings::Initialise(const char16_t* silo) {
    Settings& settings = State();
    if (settings.initialised.load(std::memory_order_acquire)) return true;
    std::lock_guard<std::mutex> guard(settings.lock);
    if (settings.initialised.load(std::memory_order_relaxed)) return true;

    const IsolateIniFile ini = ReadIsolateIni();
    std::u16string chosenSilo = ChooseSilo(silo, ini);
    if (chosenSilo.empty()) return false;

    const bool native64 = ini.Value(u"Native64") == std::u16string(u"1");
    const uint32_t view = native64 ? 0 : kRegistryView32;
    const std::u16string root = ChooseIsolatedRoot(ini, view);

    settings.isolationRoot = root.empty() ? std::u16string() : root + u"\\" + chosenSilo;
    settings.silo = std::move(chosenSilo);
    settings.view.store(view);
    settings.initialised.store(true, std::memory_order_release);
    return true;
}

bool IsolationSettings::ProductRoot() {
    Settings& settings = State();
    if (!settings.initialised.load(std::memory_order_acquire)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ProductRootBeforeInitialise);
        return false;
    }
    if (settings.productRootSet.load(std::memory_order_acquire)) return true;
    std::lock_guard<std::mutex> guard(settings.lock);
    if (settings.productRootSet.load(std::memory_order_relaxed)) return true;
    settings.productRoot = kProductRootPrefix + settings.silo;
    settings.productRootSet.store(true, std::memory_order_release);
    return true;
}

bool IsolationSettings::SetRegistryView(uint32_t view) {
    Settings& settings = State();
    if (!settings.initialised.load(std::memory_order_acquire)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ViewBeforeInitialise, view);
        return false;
    }
    // Every later open adds this flag: only a view flag may get there.
    if (view != 0 && view != kRegistryView64 && view != kRegistryView32) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::InvalidView, view);
        return false;
    }
    if (settings.viewSet.load(std::memory_order_acquire)) return true;
    std::lock_guard<std::mutex> guard(settings.lock);
    if (settings.viewSet.load(std::memory_order_relaxed)) return true;
    settings.view.store(view);
    settings.viewSet.store(true, std::memory_order_release);
    return true;
}

uint32_t IsolationSettings::RegistryView() {
    return State().view.load();
}

std::u16string IsolationSettings::Silo() {
    const Settings& settings = State();
    return settings.initialised.load(std::memory_order_acquire) ? settings.silo : std::u16string();
}

std::u16string IsolationSettings::IsolationRoot() {
    const Settings& settings = State();
    return settings.initialised.load(std::memory_order_acquire) ? settings.isolationRoot
                                                                : std::u16string();
}

std::u16string IsolationSettings::ProductRegistryRoot() {
    const Settings& settings = State();
    return settings.productRootSet.load(std::memory_order_acquire) ? settings.productRoot
                                                                   : std::u16string();
}

}  // namespace pxLib
