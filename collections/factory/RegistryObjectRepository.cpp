#include "collections/factory/RegistryObjectRepository.h"

#include "collections/factory/SettingsStore.h"
#include "support/isolation/IsolationSettings.h"
#include "support/paths/PathExpansion.h"
#include "support/paths/PathTokens.h"
#include "support/registry/RegistryKey.h"
#include "support/text/Utf.h"

#include <objbase.h>

#include <atomic>
#include <new>

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x5D0E8B27, 0x3F61, 0x4A92, {0xA4, 0x7C, 0x19, 0xE2, 0x6B, 0x80, 0xD3, 0x5F}}};
enum class TraceEvent : uint16_t {
    SettingsModuleUnavailable = 1,
    SettingsStoreUnavailable,
    NoProductRoot,
    RegistrySourceUnavailable,
    UnparsableObjectId,
    ClassNotFound,
    PathNotExpanded,
    ModuleRefused,
};

constexpr char16_t kSettingsModule[] = u"%PXROOTX64%\\pxSet.dll";
constexpr char16_t kSettingsKey[] = u"Plexor\\OBJID";
constexpr wchar_t kRegistrySubKey[] = L"\\OBJID";
constexpr wchar_t kModuleValue[] = L"InProc64";
constexpr uint32_t kNameCapacity = 256;
constexpr uint32_t kPathCapacity = 1024;

bool FileExists(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(AsWide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

class ExistingModuleHook final : public IModuleTrustHook {
public:
    OBJRESULT CheckModule(const std::u16string& modulePath) override {
        return FileExists(modulePath) ? OBJ_OK : OBJ_E_MODULENOTFOUND;
    }
};

ExistingModuleHook g_existingModuleHook;
std::atomic<IModuleTrustHook*> g_hook{&g_existingModuleHook};

bool ParseObjectId(const std::u16string& text, Guid& id) {
    static_assert(sizeof(Guid) == sizeof(IID), "the model's ids are platform GUIDs");
    IID parsed{};
    // IIDFromString wants a writable buffer.
    std::wstring copy = ToWide(text);
    if (FAILED(IIDFromString(copy.data(), &parsed))) return false;
    std::memcpy(&id, &parsed, sizeof(id));
    return true;
}

// A module path with every token expanded and no folder left to chance: a
// token left in it, or a relative result, would be loaded from wherever the
// current folder or the search path lead.
bool Expanded(const std::u16string& path, std::u16string& modulePath) {
    if (ExpandPath(path, modulePath) && IsCompleteAbsolutePath(modulePath)) return true;
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::PathNotExpanded, path);
    modulePath.clear();
    return false;
}

// Object ids and module paths from the settings store.
void ReadSettingsStore(std::map<Guid, std::u16string>& modules) {
    std::u16string settingsPath;
    if (!Expanded(kSettingsModule, settingsPath)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::SettingsModuleUnavailable,
              OBJ_E_MODULENOTFOUND);
        return;
    }
    ModuleLoader settingsModule;
    OBJRESULT result = LoadCheckedModule(settingsPath, settingsModule);
    if (!ObjSucceeded(result)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::SettingsModuleUnavailable, result);
        return;
    }
    RefPtr<ISettingsStore> store;
    {
        RefPtr<IModuleFactory> factory;
        result = settingsModule.GetFactory(FACTORYID_SettingsStore, factory);
        if (ObjSucceeded(result))
            result = factory->CreateInstance(IID_ISettingsStore, store.put_void());
    }
    if (!ObjSucceeded(result) || !store) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::SettingsStoreUnavailable, result);
        return;
    }
    char16_t name[kNameCapacity];
    for (uint32_t index = 0;
         ObjSucceeded(store->EnumSubKey(kSettingsKey, index, name, kNameCapacity)); ++index) {
        name[kNameCapacity - 1] = 0;
        Guid id{};
        if (!ParseObjectId(name, id)) {
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::UnparsableObjectId,
                  std::u16string(name));
            continue;
        }
        const std::u16string key = std::u16string(kSettingsKey) + u"\\" + name;
        char16_t path[kPathCapacity];
        uint32_t length = 0;
        if (ObjSucceeded(
                store->ReadString(key.c_str(), u"InProc64", path, kPathCapacity, &length)) &&
            length < kPathCapacity)
            modules.emplace(id, std::u16string(path, length));
    }
}

// Object ids and module paths from HKLM\<product registry root>\OBJID.
void ReadRegistry(std::map<Guid, std::u16string>& modules) {
    const std::u16string root = IsolationSettings::ProductRegistryRoot();
    if (root.empty()) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::NoProductRoot);
        return;
    }
    const std::wstring keyPath = ToWide(root) + kRegistrySubKey;
    const REGSAM access = KEY_READ | IsolationSettings::RegistryView();
    RegistryKey objects;
    if (!objects.Open(HKEY_LOCAL_MACHINE, keyPath.c_str(), access)) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::RegistrySourceUnavailable,
              static_cast<uint32_t>(objects.LastError()));
        return;
    }
    wchar_t name[kNameCapacity];
    for (DWORD index = 0; objects.EnumerateSubKey(index, name, kNameCapacity) == ERROR_SUCCESS;
         ++index) {
        Guid id{};
        if (!ParseObjectId(ToU16(name), id)) {
            Trace(kTraceSource, TraceLevel::Warning, TraceEvent::UnparsableObjectId,
                  std::wstring(name));
            continue;
        }
        RegistryKey object;
        std::wstring path;
        if (object.Open(HKEY_LOCAL_MACHINE, (keyPath + L"\\" + name).c_str(), access) &&
            object.QueryString(kModuleValue, path))
            modules.emplace(id, ToU16(path));
    }
}

// Makes objects of one class from the factory of the module that provides it.
class ModuleClassProvider final : public IClassProvider {
public:
    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        if (iid == IID_IRefObject || iid == IID_IClassProvider) {
            *out = static_cast<IClassProvider*>(this);
            AddRef();
            return OBJ_OK;
        }
        *out = nullptr;
        return OBJ_E_NOINTERFACE;
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    OBJRESULT Load(const std::u16string& modulePath, const Guid& classId) {
        const OBJRESULT result = LoadCheckedModule(modulePath, m_module);
        if (!ObjSucceeded(result)) return result;
        return m_module.GetFactory(classId, m_factory);
    }
    OBJRESULT Initialise() override { return m_factory ? OBJ_OK : OBJ_E_MODULENOTFOUND; }
    OBJRESULT CreateInstance(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        *out = nullptr;
        return m_factory->CreateInstance(iid, out);
    }

private:
    RefCount m_refs;
    ModuleLoader m_module;             // unloaded last,
    RefPtr<IModuleFactory> m_factory;  // after its factory is released
};

}  // namespace

IModuleTrustHook& CurrentModuleTrustHook() {
    return *g_hook.load();
}

void SetModuleTrustHook(IModuleTrustHook* hook) {
    g_hook = hook ? hook : &g_existingModuleHook;
}

OBJRESULT LoadCheckedModule(const std::u16string& modulePath, ModuleLoader& module) {
    const OBJRESULT checked = CurrentModuleTrustHook().CheckModule(modulePath);
    if (!ObjSucceeded(checked)) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ModuleRefused, modulePath, checked);
        return checked;
    }
    return module.Load(ToWide(modulePath));
}

void RegistryObjectRepository::Fill() {
    m_modules.clear();
    ReadSettingsStore(m_modules);
    ReadRegistry(m_modules);
    m_filled = true;
}

void RegistryObjectRepository::Forget() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_modules.clear();
    m_filled = false;
}

bool RegistryObjectRepository::FindModule(const Guid& classId, std::u16string& modulePath) {
    std::u16string found;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_filled) Fill();
        auto it = m_modules.find(classId);
        if (it == m_modules.end()) {
            Fill();
            it = m_modules.find(classId);
        }
        if (it == m_modules.end()) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ClassNotFound, GuidToText(classId));
            return false;
        }
        found = it->second;
    }
    // A path that does not expand to one absolute file registers nothing.
    return Expanded(found, modulePath);
}

OBJRESULT RegistryObjectRepository::LoadModuleProvider(const std::u16string& modulePath,
                                                       const Guid& classId, uint32_t, uint32_t,
                                                       RefPtr<IClassProvider>& provider) {
    provider.reset();
    RefPtr<ModuleClassProvider> module(new ModuleClassProvider);
    const OBJRESULT result = module->Load(modulePath, classId);
    if (!ObjSucceeded(result)) return result;
    provider = RefPtr<IClassProvider>(module.get());
    return OBJ_OK;
}

}  // namespace pxLib
