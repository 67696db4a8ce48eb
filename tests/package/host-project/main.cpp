// Loads the package's DLL, creates one plug-in object, reads its state and lets it go.
#include <QVDHostInterface.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {
// Each object reference released by its owner.
struct ReleaseObject {
    void operator()(qvd::IObjectBase* object) const { object->Release(); }
};
template <class T>
using Owned = std::unique_ptr<T, ReleaseObject>;
}  // namespace

int main() {
    // The package names the DLL by its Unix path; Wine shows the Unix root as Z:.
    std::wstring path = L"Z:";
    for (const char* c = QVD_PLUGIN_DLL; *c; ++c) path += *c == '/' ? L'\\' : wchar_t(*c);
    // Loaded until the process ends, as a host that may still have objects keeps it.
    const HMODULE module = LoadLibraryW(path.c_str());
    if (!module) return std::printf("cannot load %s\n", QVD_PLUGIN_DLL), 1;
    const auto getFactory = reinterpret_cast<PFN_QVDGetFactory>(
        reinterpret_cast<void*>(GetProcAddress(module, "GetFactory")));
    const auto getObjectCount = reinterpret_cast<PFN_QVDGetObjectCount>(
        reinterpret_cast<void*>(GetProcAddress(module, "GetObjectCount")));
    if (!getFactory || !getObjectCount) return std::printf("no GetFactory\n"), 1;
    void* out = nullptr;
    if (!qvd::ObjSucceeded(getFactory(&qvd::FACTORYID_QVDPlugin, &out)) || !out)
        return std::printf("GetFactory failed\n"), 1;
    Owned<qvd::IPluginFactory> factory(static_cast<qvd::IPluginFactory*>(out));
    out = nullptr;
    const qvd::OBJRESULT created = factory->CreateInstance(qvd::IID_IQVDPlugin2, &out);
    factory.reset();
    if (!qvd::ObjSucceeded(created) || !out) return std::printf("CreateInstance failed\n"), 1;
    Owned<qvd::IQVDPlugin> plugin(static_cast<qvd::IQVDPlugin*>(out));
    int32_t state = -100;
    plugin->GetState(&state);
    plugin.reset();
    std::printf("created one plug-in object in state %d; %u objects left\n", state,
                getObjectCount());
    return state == qvd::QVD_STATE_CREATED && getObjectCount() == 0 ? 0 : 1;
}
