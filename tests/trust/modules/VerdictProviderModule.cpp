// A verdict provider module ("RUQCli64.dll"): its "vtresult" for a file is the
// DWORD the tests stored under the file's name.
#include "ModuleSupport.h"
#include "TestModuleConfig.h"
#include "support/registry/RegistryKey.h"
#include "trust/VerdictProviderInterfaces.h"

#include <new>
#include <string>

namespace {

using qvdmodule::Guid;
using qvdmodule::OBJRESULT;

DWORD ConfigValue(const wchar_t* name, DWORD fallback) {
    pxLib::RegistryKey key;
    DWORD value = 0;
    if (key.Open(HKEY_CURRENT_USER, qvdmodule::kVerdictProviderKey, KEY_READ) &&
        key.QueryDWORD(name, value))
        return value;
    return fallback;
}

std::wstring FileNameOf(HANDLE file) {
    wchar_t path[MAX_PATH + 8] = {};
    const DWORD n = GetFinalPathNameByHandleW(file, path, MAX_PATH + 8, 0);
    if (n == 0 || n >= MAX_PATH + 8) return {};
    const std::wstring full(path, n);
    const size_t slash = full.find_last_of(L'\\');
    return slash == std::wstring::npos ? full : full.substr(slash + 1);
}

// Reference counting for Self, which derives from this.
template <class Self, class Base>
class Object : public Base {
public:
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(static_cast<Self*>(this)); }

private:
    pxLib::RefCount m_refs;
};

class Attribute final : public Object<Attribute, pxLib::IVerdictAttribute> {
public:
    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        return qvdmodule::Answer<pxLib::IVerdictAttribute>(this, iid, pxLib::IID_IVerdictAttribute,
                                                           out);
    }
    OBJRESULT GetType(uint32_t* type) override {
        *type = ConfigValue(L"AttributeType", pxLib::kVerdictValueType);
        return pxLib::OBJ_OK;
    }
    OBJRESULT GetFlags(uint32_t* flags) override {
        *flags = ConfigValue(L"AttributeFlags", pxLib::kVerdictValueReadable);
        return pxLib::OBJ_OK;
    }
};

class Values final : public Object<Values, pxLib::IVerdictValueList> {
public:
    explicit Values(std::wstring fileName) : m_fileName(std::move(fileName)) {}
    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        return qvdmodule::Answer<pxLib::IVerdictValueList>(this, iid, pxLib::IID_IVerdictValueList,
                                                           out);
    }
    OBJRESULT GetUInt32(const char16_t* name, uint32_t* value) override {
        if (std::u16string(name) != pxLib::kVerdictValueName) return pxLib::OBJ_E_INVALIDARG;
        pxLib::RegistryKey verdicts;
        const std::wstring key =
            std::wstring(qvdmodule::kVerdictProviderKey) + L"\\" + qvdmodule::kVerdictsSubKey;
        DWORD stored = 0;
        if (m_fileName.empty() || !verdicts.Open(HKEY_CURRENT_USER, key.c_str(), KEY_READ) ||
            !verdicts.QueryDWORD(m_fileName.c_str(), stored))
            return pxLib::OBJ_E_INVALIDARG;
        *value = stored;
        return pxLib::OBJ_OK;
    }

private:
    std::wstring m_fileName;
};

class AttributeSet final : public Object<AttributeSet, pxLib::IVerdictAttributeSet> {
public:
    explicit AttributeSet(HANDLE file) : m_file(file) {}
    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        return qvdmodule::Answer<pxLib::IVerdictAttributeSet>(this, iid,
                                                              pxLib::IID_IVerdictAttributeSet, out);
    }
    OBJRESULT GetAttribute(const char16_t* name, pxLib::IVerdictAttribute** attribute) override {
        *attribute = nullptr;
        if (std::u16string(name) != pxLib::kVerdictValueName) return pxLib::OBJ_E_INVALIDARG;
        auto* made = new (std::nothrow) Attribute;
        if (!made) return pxLib::OBJ_E_OUTOFMEMORY;
        made->AddRef();
        *attribute = made;
        return pxLib::OBJ_OK;
    }
    OBJRESULT GetValues(const char16_t* const* names, uint32_t count,
                        pxLib::IVerdictValueList** values) override {
        *values = nullptr;
        if (count != 1 || std::u16string(names[0]) != pxLib::kVerdictValueName || !m_file)
            return pxLib::OBJ_E_INVALIDARG;
        auto* made = new (std::nothrow) Values(FileNameOf(m_file));
        if (!made) return pxLib::OBJ_E_OUTOFMEMORY;
        made->AddRef();
        *values = made;
        return pxLib::OBJ_OK;
    }

private:
    HANDLE m_file;  // the verifier's, for the life of the call
};

class Root final : public Object<Root, pxLib::IVerdictRoot> {
public:
    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        return qvdmodule::Answer<pxLib::IVerdictRoot>(this, iid, pxLib::IID_IVerdictRoot, out);
    }
    OBJRESULT GetAttributeSet(const char16_t* name, void* file,
                              pxLib::IVerdictAttributeSet** set) override {
        *set = nullptr;
        if (std::u16string(name) != pxLib::kVerdictSetName) return pxLib::OBJ_E_INVALIDARG;
        auto* made = new (std::nothrow) AttributeSet(static_cast<HANDLE>(file));
        if (!made) return pxLib::OBJ_E_OUTOFMEMORY;
        made->AddRef();
        *set = made;
        return pxLib::OBJ_OK;
    }
};

const Guid kServed[] = {pxLib::FACTORYID_VerdictProvider};

}  // namespace

QVD_MODULE_EXPORT OBJRESULT GetFactory(const Guid* id, void** out) {
    return qvdmodule::ServeFactory(id, out, kServed, &qvdmodule::MakeObject<Root>);
}
