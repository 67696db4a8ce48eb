#include "collections/factory/ModuleLoader.h"

#include "support/paths/PathTokens.h"
#include "support/text/Utf.h"

namespace pxLib {
namespace {
const TraceSource kTraceSource{
    {0x8C2B6F01, 0x5A3E, 0x4D7C, {0x9E, 0x14, 0x63, 0xB8, 0x0D, 0x27, 0xF5, 0x49}}};
enum class TraceEvent : uint16_t { LoadFailed = 1, ExportMissing, FactoryFailed, NotAbsolute };

template <class Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
}  // namespace

OBJRESULT ModuleLoader::Load(const std::wstring& path) {
    Unload();
    // A relative name would be looked for along the search path.
    if (!IsCompleteAbsolutePath(ToU16(path))) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotAbsolute, path);
        return OBJ_E_MODULENOTFOUND;
    }
    m_module.reset(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!m_module) {
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::LoadFailed, path, GetLastError());
        return OBJ_E_MODULENOTFOUND;
    }
    m_getFactory = Export<ModuleGetFactoryFn>(m_module.get(), "GetFactory");
    m_getObjectCount = Export<ModuleGetObjectCountFn>(m_module.get(), "GetObjectCount");
    if (!m_getFactory || !m_getObjectCount) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::ExportMissing, path);
        Unload();
        return OBJ_E_ENTRYNOTFOUND;
    }
    return OBJ_OK;
}

OBJRESULT ModuleLoader::GetFactory(const Guid& id, RefPtr<IModuleFactory>& factory) const {
    factory.reset();
    if (!m_getFactory) return OBJ_E_MODULENOTFOUND;
    const OBJRESULT result = m_getFactory(&id, factory.put_void());
    if (!ObjSucceeded(result) || !factory) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::FactoryFailed, id, result);
        factory.reset();
        return ObjSucceeded(result) ? OBJ_E_NOINTERFACE : result;
    }
    return result;
}

uint32_t ModuleLoader::GetObjectCount() const {
    return m_getObjectCount ? m_getObjectCount() : 0;
}

void ModuleLoader::Unload() {
    m_getFactory = nullptr;
    m_getObjectCount = nullptr;
    m_module.reset();
}

}  // namespace pxLib
