#include "collections/factory/ProcessObjectFactory.h"

#include "collections/factory/ObjectRepository.h"
#include "collections/factory/RegistrationRequests.h"
#include "support/system/LiveObjects.h"
#include "support/system/SharedLock.h"

#include <map>
#include <mutex>
#include <new>
#include <shared_mutex>  // std::shared_lock

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x354BACAE, 0x2C04, 0x4479, {0x94, 0xA1, 0x32, 0xAF, 0x68, 0x70, 0xA7, 0xE0}}};
enum class TraceEvent : uint16_t {
    OutOfMemory = 1,
    Registered = 2,
    KindMismatch = 3,
    ExistingRefused = 4,
    RegistrationCounted = 5,
    UnregisterUnknown = 6,
    Unregistered = 7,
    NullOutPointer = 8,
    RepositoryRegistrationFailed = 9,
    ClassNotRegistered = 10,
    NotInRepository = 11,
};

class ProcessObjectFactory final : public IProcessObjectFactory {
public:
    // Counted among the module's live objects: it holds creators that point
    // into the module, so the module must not be unloaded under it.
    ProcessObjectFactory() { IncrementLiveObjects(); }
    ~ProcessObjectFactory() { DecrementLiveObjects(); }
    ProcessObjectFactory(const ProcessObjectFactory&) = delete;
    ProcessObjectFactory& operator=(const ProcessObjectFactory&) = delete;

    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        if (iid == IID_IRefObject || iid == IID_IProcessObjectFactory) {
            *out = static_cast<IProcessObjectFactory*>(this);
            AddRef();
            return OBJ_OK;
        }
        *out = nullptr;
        return OBJ_E_NOINTERFACE;
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }

    OBJRESULT Register(const Guid& classId, const std::u16string& modulePath, uint32_t loadFlags,
                       uint32_t options) override {
        try {
            ModuleRequest request(classId, modulePath, loadFlags, options);
            return Register(classId, request);
        } catch (const std::bad_alloc&) {
            return OutOfMemory(classId);
        }
    }
    OBJRESULT Register(const Guid& classId, IClassProvider* provider) override {
        ProviderRequest request(provider);
        return Register(classId, request);
    }
    OBJRESULT Register(const Guid& classId, ObjectCreator creator) override {
        CreatorRequest request(creator);
        return Register(classId, request);
    }

    OBJRESULT Unregister(const Guid& classId) override;
    OBJRESULT CreateInstance(const Guid& classId, const Guid& iid, void** out) override;
    bool IsRegistered(const Guid& classId) override;
    OBJRESULT RegisterFromRepository(const Guid& classId, uint32_t loadFlags,
                                     uint32_t options) override;
    bool IsRegisteredLocally(const Guid& classId) override;

private:
    OBJRESULT Register(const Guid& classId, RegistrationRequest& request);
    OBJRESULT OutOfMemory(const Guid& classId) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::OutOfMemory, classId);
        return OBJ_E_OUTOFMEMORY;
    }
    RefPtr<IClassProvider> FindProvider(const Guid& classId);

    RefCount m_refs;
    SharedLock m_lock;
    std::map<Guid, ClassEntry> m_entries;
};

OBJRESULT ProcessObjectFactory::Register(const Guid& classId, RegistrationRequest& request) {
    try {
        std::unique_lock<SharedLock> lock(m_lock);
        auto found = m_entries.find(classId);
        if (found == m_entries.end()) {
            OBJRESULT result = request.Prepare();
            if (!ObjSucceeded(result)) return result;
            RefPtr<IClassProvider> provider;
            result = request.MakeProvider(provider);
            if (!ObjSucceeded(result)) return result;
            if (!provider) return OBJ_E_INVALIDARG;
            result = provider->Initialise();
            if (!ObjSucceeded(result)) return result;  // the provider goes with its owner
            ClassEntry entry;
            entry.provider = std::move(provider);
            entry.kind = request.Kind();
            entry.count = 1;
            request.Describe(entry);
            m_entries.emplace(classId, std::move(entry));
            Trace(kTraceSource, TraceLevel::Information, TraceEvent::Registered, classId,
                  uint64_t{1});
            return OBJ_OK;
        }
        ClassEntry& entry = found->second;
        if (entry.kind != request.Kind()) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::KindMismatch, classId,
                  static_cast<uint32_t>(entry.kind), static_cast<uint32_t>(request.Kind()));
            return OBJ_E_INVALIDARG;
        }
        const OBJRESULT result = request.CheckExisting(entry);
        if (!ObjSucceeded(result)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ExistingRefused, classId, result);
            return result;
        }
        ++entry.count;
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::RegistrationCounted, classId,
              entry.count);
        return OBJ_OK;
    } catch (const std::bad_alloc&) {
        return OutOfMemory(classId);
    }
}

OBJRESULT ProcessObjectFactory::Unregister(const Guid& classId) {
    std::unique_lock<SharedLock> lock(m_lock);
    auto found = m_entries.find(classId);
    if (found == m_entries.end()) {
        Trace(kTraceSource, TraceLevel::Warning, TraceEvent::UnregisterUnknown, classId);
        return OBJ_E_INVALIDARG;
    }
    if (found->second.count-- == 1) {
        m_entries.erase(found);
        Trace(kTraceSource, TraceLevel::Information, TraceEvent::Unregistered, classId);
    }
    return OBJ_OK;
}

RefPtr<IClassProvider> ProcessObjectFactory::FindProvider(const Guid& classId) {
    std::shared_lock<SharedLock> lock(m_lock);
    auto found = m_entries.find(classId);
    return found == m_entries.end() ? RefPtr<IClassProvider>() : found->second.provider;
}

OBJRESULT ProcessObjectFactory::CreateInstance(const Guid& classId, const Guid& iid, void** out) {
    if (out == nullptr) {
        Trace(kTraceSource, TraceLevel::Error, TraceEvent::NullOutPointer, classId);
        return OBJ_E_INVALIDARG;
    }
    *out = nullptr;
    for (int attempt = 1; attempt <= 2; ++attempt) {
        // The provider is called outside the lock, on a reference of our own.
        if (RefPtr<IClassProvider> provider = FindProvider(classId))
            return provider->CreateInstance(iid, out);
        if (attempt == 1) {
            const OBJRESULT result = RegisterFromRepository(classId, 0, 0);
            if (!ObjSucceeded(result)) {
                Trace(kTraceSource, TraceLevel::Error, TraceEvent::RepositoryRegistrationFailed,
                      classId, result);
                return result;
            }
        }
    }
    Trace(kTraceSource, TraceLevel::Error, TraceEvent::ClassNotRegistered, classId);
    return OBJ_E_INVALIDARG;
}

bool ProcessObjectFactory::IsRegistered(const Guid& classId) {
    if (IsRegisteredLocally(classId)) return true;
    try {
        std::u16string modulePath;
        return CurrentObjectRepository().FindModule(classId, modulePath);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

OBJRESULT ProcessObjectFactory::RegisterFromRepository(const Guid& classId, uint32_t loadFlags,
                                                       uint32_t options) {
    try {
        std::u16string modulePath;
        if (!CurrentObjectRepository().FindModule(classId, modulePath)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::NotInRepository,
                  GuidToText(classId));
            return OBJ_E_INVALIDARG;
        }
        return Register(classId, modulePath, loadFlags, options);
    } catch (const std::bad_alloc&) {
        return OutOfMemory(classId);
    }
}

bool ProcessObjectFactory::IsRegisteredLocally(const Guid& classId) {
    std::shared_lock<SharedLock> lock(m_lock);
    return m_entries.count(classId) != 0;
}

std::mutex g_factoryLock;
IProcessObjectFactory* g_factory = nullptr;  // one reference held for the life of the process

}  // namespace

OBJRESULT GetProcessObjectFactory(RefPtr<IProcessObjectFactory>& factory) {
    std::lock_guard<std::mutex> lock(g_factoryLock);
    if (g_factory == nullptr) {
        try {
            g_factory = new ProcessObjectFactory;
        } catch (const std::bad_alloc&) {
            factory.reset();
            return OBJ_E_OUTOFMEMORY;
        }
        g_factory->AddRef();
    }
    factory = RefPtr<IProcessObjectFactory>(g_factory);
    return OBJ_OK;
}

}  // namespace pxLib
