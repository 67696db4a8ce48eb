#include "ProcessListWithPaths.h"

#include "support/system/UniqueHandle.h"

#include <atomic>
#include <string>

namespace qvdtest {
namespace {

template <class Interface>
class RefCounted : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~RefCounted() = default;

private:
    std::atomic<ULONG> m_references{1};
};

HRESULT NumberOf(IWbemClassObject* object, const wchar_t* name, DWORD& value) {
    pxLib::UniqueVariant property;
    const HRESULT hr = object->Get(name, 0, property.put(), nullptr, nullptr);
    if (hr != S_OK) return hr;
    pxLib::UniqueVariant number;
    const HRESULT changed =
        VariantChangeType(number.put(), const_cast<VARIANT*>(&property.get()), 0, VT_UI4);
    if (FAILED(changed)) return changed;
    value = number.get().ulVal;
    return S_OK;
}

class ProcessWithPath final : public RefCounted<IWbemClassObject> {
public:
    ProcessWithPath(pxLib::ComPtr<IWbemClassObject> real, std::shared_ptr<ProcessListFacts> facts)
        : m_real(std::move(real)), m_facts(std::move(facts)) {}

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE* type,
                                  LONG* flavor) override {
        const bool path = name && _wcsicmp(name, L"ExecutablePath") == 0;
        const bool session = name && _wcsicmp(name, L"SessionId") == 0;
        if (!path && !session) return m_real->Get(name, flags, value, type, flavor);
        DWORD processId = 0;
        const HRESULT hr = NumberOf(m_real.get(), L"ProcessId", processId);
        if (hr != S_OK) return hr;
        if (flavor) *flavor = WBEM_FLAVOR_ORIGIN_SYSTEM;
        if (type) *type = path ? CIM_STRING : CIM_UINT32;
        if (!value) return S_OK;
        VariantInit(value);
        return path ? PathOf(processId, *value) : SessionOf(processId, *value);
    }

    // The rest is the real object's.
    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet** set) override {
        return m_real->GetQualifierSet(set);
    }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR name, LONG flags, VARIANT* value, CIMTYPE type) override {
        return m_real->Put(name, flags, value, type);
    }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR name) override { return m_real->Delete(name); }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR qualifier, LONG flags, VARIANT* value,
                                       SAFEARRAY** names) override {
        return m_real->GetNames(qualifier, flags, value, names);
    }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG flags) override {
        return m_real->BeginEnumeration(flags);
    }
    HRESULT STDMETHODCALLTYPE Next(LONG flags, BSTR* name, VARIANT* value, CIMTYPE* type,
                                   LONG* flavor) override {
        return m_real->Next(flags, name, value, type, flavor);
    }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return m_real->EndEnumeration(); }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR name,
                                                      IWbemQualifierSet** set) override {
        return m_real->GetPropertyQualifierSet(name, set);
    }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject** copy) override {
        return m_real->Clone(copy);
    }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG flags, BSTR* text) override {
        return m_real->GetObjectText(flags, text);
    }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG flags, IWbemClassObject** made) override {
        return m_real->SpawnDerivedClass(flags, made);
    }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG flags, IWbemClassObject** made) override {
        return m_real->SpawnInstance(flags, made);
    }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG flags, IWbemClassObject* other) override {
        return m_real->CompareTo(flags, other);
    }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR name, BSTR* className) override {
        return m_real->GetPropertyOrigin(name, className);
    }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR ancestor) override {
        return m_real->InheritsFrom(ancestor);
    }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR name, LONG flags, IWbemClassObject** in,
                                        IWbemClassObject** out) override {
        return m_real->GetMethod(name, flags, in, out);
    }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR name, LONG flags, IWbemClassObject* in,
                                        IWbemClassObject* out) override {
        return m_real->PutMethod(name, flags, in, out);
    }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR name) override {
        return m_real->DeleteMethod(name);
    }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG flags) override {
        return m_real->BeginMethodEnumeration(flags);
    }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG flags, BSTR* name, IWbemClassObject** in,
                                         IWbemClassObject** out) override {
        return m_real->NextMethod(flags, name, in, out);
    }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override {
        return m_real->EndMethodEnumeration();
    }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR name,
                                                    IWbemQualifierSet** set) override {
        return m_real->GetMethodQualifierSet(name, set);
    }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR name, BSTR* className) override {
        return m_real->GetMethodOrigin(name, className);
    }

private:
    static HRESULT PathOf(DWORD processId, VARIANT& value) {
        const pxLib::UniqueHandle process(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
        wchar_t path[MAX_PATH * 4];
        DWORD length = static_cast<DWORD>(std::size(path));
        if (!process || !QueryFullProcessImageNameW(process.get(), 0, path, &length)) {
            value.vt = VT_NULL;
            return S_OK;
        }
        value.bstrVal = SysAllocStringLen(path, length);
        if (!value.bstrVal) return E_OUTOFMEMORY;
        value.vt = VT_BSTR;
        return S_OK;
    }

    HRESULT SessionOf(DWORD processId, VARIANT& value) {
        DWORD session = 0;
        if (!ProcessIdToSessionId(processId, &session)) return WBEM_E_FAILED;
        m_facts->sessionAsked.push_back(processId);
        for (DWORD candidate : m_facts->moveFirstAsked)
            if (candidate == processId && m_facts->moved == 0) m_facts->moved = processId;
        if (m_facts->moved == processId) ++session;
        value.vt = VT_I4;
        value.lVal = static_cast<LONG>(session);
        return S_OK;
    }

    pxLib::ComPtr<IWbemClassObject> m_real;
    std::shared_ptr<ProcessListFacts> m_facts;
};

class ProcessList final : public RefCounted<IEnumWbemClassObject> {
public:
    ProcessList(pxLib::ComPtr<IEnumWbemClassObject> real, std::shared_ptr<ProcessListFacts> facts)
        : m_real(std::move(real)), m_facts(std::move(facts)) {}

    HRESULT STDMETHODCALLTYPE Reset() override { return m_real->Reset(); }
    HRESULT STDMETHODCALLTYPE Next(LONG timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        const HRESULT hr = m_real->Next(timeout, count, objects, returned);
        if (FAILED(hr) || !objects || !returned) return hr;
        for (ULONG i = 0; i < *returned; ++i)
            objects[i] =
                new ProcessWithPath(pxLib::ComPtr<IWbemClassObject>::Attach(objects[i]), m_facts);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(LONG timeout, ULONG count) override {
        return m_real->Skip(timeout, count);
    }

private:
    pxLib::ComPtr<IEnumWbemClassObject> m_real;
    std::shared_ptr<ProcessListFacts> m_facts;
};

}  // namespace

pxLib::ComPtr<IEnumWbemClassObject> ProcessListWithPaths(pxLib::ComPtr<IEnumWbemClassObject> real,
                                                         std::shared_ptr<ProcessListFacts> facts) {
    return pxLib::ComPtr<IEnumWbemClassObject>::Attach(
        new ProcessList(std::move(real), std::move(facts)));
}

}  // namespace qvdtest
