#include "collections/values/PersistableClasses.h"

#include "collections/values/IndexValueCollection.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/values/MemoryImpl.h"
#include "collections/factory/ProcessObjectFactory.h"
#include "collections/values/StringImpl.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0xDAB1F44E, 0xF990, 0x46EA, {0xA9, 0x8F, 0x3D, 0x27, 0xC0, 0x6B, 0xF6, 0x05}}};
enum class TraceEvent : uint16_t {
    RegistrationFailed = 1,
};

struct PersistableClass {
    const Guid& classId;
    ObjectCreator creator;
};

const PersistableClass kClasses[] = {
    {CLSID_pxTavKeyValueCollection, &pxTavKeyValueCollection::CreateInstance},
    {CLSID_pxTavIndexValueCollection, &pxTavIndexValueCollection::CreateInstance},
    {CLSID_CStringImpl, &CStringImpl::CreateInstance},
    {CLSID_CMemoryImpl, &CMemoryImpl::CreateInstance},
};

}  // namespace

bool RegisterPersistableClasses() {
    RefPtr<IProcessObjectFactory> factory;
    if (!ObjSucceeded(GetProcessObjectFactory(factory))) return false;
    for (const PersistableClass& entry : kClasses) {
        if (factory->IsRegisteredLocally(entry.classId)) continue;
        const OBJRESULT result = factory->Register(entry.classId, entry.creator);
        if (!ObjSucceeded(result)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::RegistrationFailed, entry.classId,
                  result);
            return false;
        }
    }
    return true;
}

}  // namespace pxLib
