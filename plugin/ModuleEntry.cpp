// The DLL's entry point and its four exports.
#include "plugin/ComModule.h"
#include "support/system/LiveObjects.h"
#include "plugin/ModuleLifetime.h"
#include "plugin/QVDPluginFactory.h"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            qvd::plugin::ModuleStartup(module);
            DisableThreadLibraryCalls(module);
            break;
        case DLL_PROCESS_DETACH:
            qvd::plugin::ModuleShutdown();
            break;
        default:
            break;
    }
    return TRUE;
}

extern "C" {

qvd::OBJRESULT WINAPI GetFactory(const GUID* factoryId, void** factory) {
    return qvd::plugin::GetPluginFactory(factoryId, factory);
}

uint32_t WINAPI GetObjectCount() {
    return pxLib::LiveObjectCount();
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    return qvd::plugin::ComGetClassObject(clsid, iid, out);
}

HRESULT WINAPI DllCanUnloadNow() {
    return qvd::plugin::ComCanUnloadNow();
}

}  // extern "C"
