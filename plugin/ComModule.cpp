#include "plugin/ComModule.h"

#include "plugin/QVDHostInterface.h"
#include "plugin/QVDPluginClassFactory.h"
#include "support/logging/Trace.h"

#include <atomic>
#include <mutex>
#include <new>

namespace qvd::plugin {
namespace {

const pxLib::TraceSource kTraceSource{
    {0x5f27c0b8, 0x0e41, 0x4c93, {0x86, 0x7a, 0xd2, 0x4b, 0x19, 0x6e, 0x0f, 0xa3}}};
enum class TraceEvent : uint16_t { GetClassObject = 1, CanUnloadNow };

std::atomic<bool> g_initialised{false};
std::atomic<long> g_lockCount{0};
std::mutex g_classObjectLock;
// Kept encoded, as the class object pointer lives for the whole module.
std::atomic<void*> g_encodedClassObject{nullptr};

IClassFactory* DecodedClassObject() {
    void* encoded = g_encodedClassObject.load();
    return encoded ? static_cast<IClassFactory*>(DecodePointer(encoded)) : nullptr;
}

}  // namespace

void InitialiseComModule() {
    g_initialised = true;
}
void LockComModule() {
    ++g_lockCount;
}
void UnlockComModule() {
    --g_lockCount;
}
long ComModuleLockCount() {
    return g_lockCount.load();
}

HRESULT ComGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Verbose, TraceEvent::GetClassObject);
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!g_initialised) return E_UNEXPECTED;
    if (!IsEqualCLSID(clsid, CLSID_QVDPluginImplCOM)) return CLASS_E_CLASSNOTAVAILABLE;

    HRESULT created = S_OK;
    IClassFactory* classObject = DecodedClassObject();
    if (!classObject) {
        std::lock_guard<std::mutex> guard(g_classObjectLock);
        classObject = DecodedClassObject();
        if (!classObject) {
            classObject = new (std::nothrow) QVDPluginClassFactory();
            if (classObject) {
                g_encodedClassObject = EncodePointer(classObject);
            } else {
                created = E_OUTOFMEMORY;
            }
        }
    }
    if (!classObject) return FAILED(created) ? created : CLASS_E_CLASSNOTAVAILABLE;
    return classObject->QueryInterface(iid, out);
}

HRESULT ComCanUnloadNow() {
    pxLib::Trace(kTraceSource, pxLib::TraceLevel::Verbose, TraceEvent::CanUnloadNow);
    return g_lockCount.load() != 0 ? S_FALSE : S_OK;
}

}  // namespace qvd::plugin
