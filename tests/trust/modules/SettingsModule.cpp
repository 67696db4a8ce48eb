// A settings module ("pxSet.dll") whose store is a registry subtree.
#include "ModuleSupport.h"
#include "TestModuleConfig.h"
#include "collections/factory/SettingsStore.h"
#include "support/registry/RegistryKey.h"

#include <new>
#include <string>

namespace {

std::wstring StoreKey(const char16_t* key) {
    std::wstring path = qvdmodule::kSettingsStoreKey;
    if (key && *key) path += L"\\" + std::wstring(reinterpret_cast<const wchar_t*>(key));
    return path;
}

class RegistryStore final : public pxLib::ISettingsStore {
public:
    qvdmodule::OBJRESULT QueryInterface(const qvdmodule::Guid& iid, void** out) override {
        return qvdmodule::Answer<pxLib::ISettingsStore>(this, iid, pxLib::IID_ISettingsStore, out);
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    qvdmodule::OBJRESULT EnumSubKey(const char16_t* key, uint32_t index, char16_t* name,
                                    uint32_t capacity) override {
        pxLib::RegistryKey store;
        if (!store.Open(HKEY_CURRENT_USER, StoreKey(key).c_str(), KEY_READ))
            return pxLib::OBJ_E_INVALIDARG;
        return store.EnumerateSubKey(index, reinterpret_cast<wchar_t*>(name), capacity) ==
                       ERROR_SUCCESS
                   ? pxLib::OBJ_OK
                   : pxLib::OBJ_E_INVALIDARG;
    }
    qvdmodule::OBJRESULT ReadString(const char16_t* key, const char16_t* valueName, char16_t* value,
                                    uint32_t capacity, uint32_t* length) override {
        pxLib::RegistryKey store;
        std::wstring text;
        if (!store.Open(HKEY_CURRENT_USER, StoreKey(key).c_str(), KEY_READ) ||
            !store.QueryString(reinterpret_cast<const wchar_t*>(valueName), text) ||
            text.size() >= capacity)
            return pxLib::OBJ_E_INVALIDARG;
        std::copy(text.begin(), text.end(), value);
        value[text.size()] = 0;
        *length = static_cast<uint32_t>(text.size());
        return pxLib::OBJ_OK;
    }

private:
    pxLib::RefCount m_refs;
};

const qvdmodule::Guid kServed[] = {pxLib::FACTORYID_SettingsStore};

}  // namespace

QVD_MODULE_EXPORT qvdmodule::OBJRESULT GetFactory(const qvdmodule::Guid* id, void** out) {
    return qvdmodule::ServeFactory(id, out, kServed, &qvdmodule::MakeObject<RegistryStore>);
}
