// The process object factory: registration counting, creation, the single
// retry through the object repository, and the host-model result codes.
#include "collections/factory/ObjectRepository.h"
#include "collections/factory/ProcessObjectFactory.h"
#include "collections/values/StringImpl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using pxLib::Guid;
using pxLib::OBJ_E_INVALIDARG;
using pxLib::OBJ_OK;
using pxLib::OBJRESULT;
using pxLib::RefPtr;

// Each test uses classes of its own: the factory lives as long as the process.
constexpr Guid kClassA = {
    0x347C5E5A, 0xDFB7, 0x4F66, {0xB1, 0x22, 0x28, 0x08, 0x17, 0xA7, 0x11, 0x08}};
constexpr Guid kClassB = {
    0xC2478CF6, 0x1B80, 0x4101, {0xBF, 0x71, 0x7B, 0x8F, 0x5A, 0x52, 0xD1, 0x63}};
constexpr Guid kClassC = {
    0xCC0F2FB4, 0x05DD, 0x4E9A, {0x9D, 0x0C, 0xBB, 0xBF, 0xAF, 0xAA, 0xCE, 0x52}};
constexpr Guid kClassD = {
    0x8C22C596, 0x41ED, 0x4CB0, {0xA4, 0xFE, 0x5D, 0x84, 0x77, 0x8B, 0x1B, 0x2B}};
constexpr Guid kClassE = {
    0x33B3F7C8, 0x9789, 0x40CD, {0x8E, 0x6C, 0x0A, 0x97, 0x47, 0xBE, 0x06, 0x54}};
constexpr Guid kClassF = {
    0xF6E64EAC, 0x6E93, 0x4771, {0x97, 0x47, 0xC5, 0xE3, 0x15, 0xC5, 0x5F, 0xB2}};

std::atomic<int> g_created{0};

OBJRESULT CreateString(const Guid& iid, void** out) {
    ++g_created;
    return pxLib::CStringImpl::CreateInstance(iid, out);
}
OBJRESULT CreateOther(const Guid& iid, void** out) {
    return CreateString(iid, out);
}

RefPtr<pxLib::IProcessObjectFactory> Factory() {
    RefPtr<pxLib::IProcessObjectFactory> factory;
    EXPECT_EQ(pxLib::GetProcessObjectFactory(factory), OBJ_OK);
    return factory;
}

// A provider object: counts initialisations and can refuse them.
class TestProvider final : public pxLib::IClassProvider {
public:
    explicit TestProvider(OBJRESULT initResult = OBJ_OK) : m_initResult(initResult) {}
    OBJRESULT QueryInterface(const Guid& iid, void** out) override {
        if (out == nullptr) return OBJ_E_INVALIDARG;
        if (iid == pxLib::IID_IRefObject || iid == pxLib::IID_IClassProvider) {
            *out = static_cast<pxLib::IClassProvider*>(this);
            AddRef();
            return OBJ_OK;
        }
        *out = nullptr;
        return pxLib::OBJ_E_NOINTERFACE;
    }
    int64_t AddRef() override { return ++refs; }
    int64_t Release() override { return --refs; }  // lives on the test's stack
    OBJRESULT Initialise() override {
        ++initialised;
        return m_initResult;
    }
    OBJRESULT CreateInstance(const Guid& iid, void** out) override {
        return pxLib::CStringImpl::CreateInstance(iid, out);
    }
    std::atomic<int64_t> refs{0};
    int initialised = 0;

private:
    OBJRESULT m_initResult;
};

TEST(ProcessObjectFactory, OneFactoryServesTheWholeProcess) {
    RefPtr<pxLib::IProcessObjectFactory> a = Factory();
    RefPtr<pxLib::IProcessObjectFactory> b = Factory();
    EXPECT_EQ(a.get(), b.get());
    RefPtr<pxLib::IProcessObjectFactory> queried;
    ASSERT_EQ(pxLib::QueryInto(a.get(), pxLib::IID_IProcessObjectFactory, queried), OBJ_OK);
    EXPECT_EQ(queried.get(), a.get());
    void* none = &queried;
    EXPECT_EQ(a->QueryInterface(pxLib::IID_IClassProvider, &none), pxLib::OBJ_E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
}

TEST(ProcessObjectFactory, RegistrationsAreCountedAndTheLastUnregistrationRemovesTheClass) {
    auto factory = Factory();
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassA));
    ASSERT_EQ(factory->Register(kClassA, &CreateString), OBJ_OK);
    ASSERT_EQ(factory->Register(kClassA, &CreateString), OBJ_OK);
    EXPECT_EQ(factory->Unregister(kClassA), OBJ_OK);
    EXPECT_TRUE(factory->IsRegisteredLocally(kClassA));
    EXPECT_TRUE(factory->IsRegistered(kClassA));
    EXPECT_EQ(factory->Unregister(kClassA), OBJ_OK);
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassA));
    EXPECT_FALSE(factory->IsRegistered(kClassA));
    EXPECT_EQ(factory->Unregister(kClassA), OBJ_E_INVALIDARG);
}

TEST(ProcessObjectFactory, CreatesInstancesThroughTheRegisteredCreator) {
    auto factory = Factory();
    ASSERT_EQ(factory->Register(kClassB, &CreateString), OBJ_OK);
    const int before = g_created;
    RefPtr<pxLib::IPersistObject> object;
    ASSERT_EQ(factory->CreateInstance(kClassB, pxLib::IID_IPersistObject, object.put_void()),
              OBJ_OK);
    ASSERT_TRUE(object);
    EXPECT_EQ(g_created, before + 1);
    Guid classId;
    ASSERT_TRUE(object->GetClassId(classId));
    EXPECT_TRUE(classId == pxLib::CLSID_CStringImpl);

    // The provider's own refusal comes back unchanged.
    void* out = &object;
    EXPECT_EQ(factory->CreateInstance(kClassB, pxLib::IID_IProcessObjectFactory, &out),
              pxLib::OBJ_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(factory->Unregister(kClassB), OBJ_OK);
}

TEST(ProcessObjectFactory, UnknownClassesAndMissingOutPointersGiveInvalidArg) {
    auto factory = Factory();
    void* out = &factory;
    EXPECT_EQ(factory->CreateInstance(kClassC, pxLib::IID_IRefObject, &out), OBJ_E_INVALIDARG);
    EXPECT_EQ(out, nullptr);

    ASSERT_EQ(factory->Register(kClassC, &CreateString), OBJ_OK);
    const int before = g_created;
    EXPECT_EQ(factory->CreateInstance(kClassC, pxLib::IID_IRefObject, nullptr), OBJ_E_INVALIDARG);
    EXPECT_EQ(g_created, before);  // nothing was made
    EXPECT_EQ(factory->Unregister(kClassC), OBJ_OK);

    EXPECT_EQ(factory->Register(kClassC, pxLib::ObjectCreator{nullptr}), OBJ_E_INVALIDARG);
    EXPECT_EQ(factory->Register(kClassC, static_cast<pxLib::IClassProvider*>(nullptr)),
              OBJ_E_INVALIDARG);
    EXPECT_EQ(factory->Register(kClassC, std::u16string(), 0, 0), OBJ_E_INVALIDARG);
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassC));
}

TEST(ProcessObjectFactory, ARepeatedRegistrationMustMatchTheFirst) {
    auto factory = Factory();
    TestProvider provider;
    ASSERT_EQ(factory->Register(kClassD, &provider), OBJ_OK);
    EXPECT_EQ(provider.initialised, 1);
    // Another kind, or the same kind naming something else, changes nothing.
    EXPECT_EQ(factory->Register(kClassD, &CreateString), OBJ_E_INVALIDARG);
    TestProvider other;
    EXPECT_EQ(factory->Register(kClassD, &other), OBJ_E_INVALIDARG);
    EXPECT_EQ(factory->Register(kClassD, &provider), OBJ_OK);
    EXPECT_EQ(provider.initialised, 1);  // initialised once, when first registered
    EXPECT_EQ(factory->Unregister(kClassD), OBJ_OK);
    EXPECT_EQ(factory->Unregister(kClassD), OBJ_OK);
    EXPECT_EQ(provider.refs, 0);  // the factory let its reference go
    EXPECT_EQ(factory->Unregister(kClassD), OBJ_E_INVALIDARG);

    ASSERT_EQ(factory->Register(kClassD, &CreateString), OBJ_OK);
    EXPECT_EQ(factory->Register(kClassD, &CreateOther), OBJ_E_INVALIDARG);
    EXPECT_EQ(factory->Unregister(kClassD), OBJ_OK);
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassD));
}

TEST(ProcessObjectFactory, AProviderThatFailsToInitialiseIsNotRegistered) {
    auto factory = Factory();
    TestProvider provider(static_cast<OBJRESULT>(0x80010999u));
    EXPECT_EQ(factory->Register(kClassE, &provider), static_cast<OBJRESULT>(0x80010999u));
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassE));
    EXPECT_EQ(provider.refs, 0);
}

// A repository that knows one module for one class and counts what it is asked.
class FakeRepository final : public pxLib::IObjectRepository {
public:
    bool FindModule(const Guid& classId, std::u16string& modulePath) override {
        ++lookups;
        if (!(classId == known)) return false;
        modulePath = u"C:\\modules\\provider.dll";
        return true;
    }
    OBJRESULT LoadModuleProvider(const std::u16string& modulePath, const Guid&, uint32_t, uint32_t,
                                 RefPtr<pxLib::IClassProvider>& result) override {
        loadedPath = modulePath;
        if (!pxLib::ObjSucceeded(loadResult)) return loadResult;
        result = RefPtr<pxLib::IClassProvider>(&provider);
        return OBJ_OK;
    }
    Guid known{};
    int lookups = 0;
    std::u16string loadedPath;
    OBJRESULT loadResult = OBJ_OK;
    TestProvider provider;
};

// Installs a repository for the life of the test.
class ScopedRepository {
public:
    explicit ScopedRepository(pxLib::IObjectRepository* repository)
        : m_previous(pxLib::SetObjectRepository(repository)) {}
    ~ScopedRepository() { pxLib::SetObjectRepository(m_previous); }

private:
    pxLib::IObjectRepository* m_previous;
};

TEST(ProcessObjectFactory, AClassTheRepositoryKnowsIsRegisteredFromItsModuleAndCreated) {
    auto factory = Factory();
    FakeRepository repository;
    repository.known = kClassF;
    ScopedRepository installed(&repository);

    EXPECT_TRUE(factory->IsRegistered(kClassF));
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassF));
    RefPtr<pxLib::IPersistObject> object;
    ASSERT_EQ(factory->CreateInstance(kClassF, pxLib::IID_IPersistObject, object.put_void()),
              OBJ_OK);
    EXPECT_TRUE(object);
    EXPECT_EQ(repository.loadedPath, u"C:\\modules\\provider.dll");
    EXPECT_TRUE(factory->IsRegisteredLocally(kClassF));
    // Registered with the module form: a creator cannot join it.
    EXPECT_EQ(factory->Register(kClassF, &CreateString), OBJ_E_INVALIDARG);
    EXPECT_EQ(factory->Register(kClassF, u"c:\\MODULES\\provider.dll", 0, 0), OBJ_OK);
    EXPECT_EQ(factory->Unregister(kClassF), OBJ_OK);
    EXPECT_EQ(factory->Unregister(kClassF), OBJ_OK);
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassF));

    // A module that cannot be loaded: its code comes back from the creation.
    repository.loadResult = pxLib::OBJ_E_MODULENOTFOUND;
    void* out = &object;
    EXPECT_EQ(factory->CreateInstance(kClassF, pxLib::IID_IRefObject, &out),
              pxLib::OBJ_E_MODULENOTFOUND);
    EXPECT_EQ(out, nullptr);

    // A class it does not know: one lookup, then the unknown-class code.
    const int lookups = repository.lookups;
    EXPECT_EQ(factory->CreateInstance(kClassA, pxLib::IID_IRefObject, &out), OBJ_E_INVALIDARG);
    EXPECT_EQ(repository.lookups, lookups + 1);
    EXPECT_FALSE(factory->IsRegistered(kClassA));
}

TEST(ProcessObjectFactory, TheDefaultRepositoryKnowsNoClass) {
    auto factory = Factory();
    EXPECT_EQ(factory->RegisterFromRepository(kClassF, 0, 0), OBJ_E_INVALIDARG);
    EXPECT_EQ(factory->Register(kClassF, u"C:\\m.dll", 0, 0), pxLib::OBJ_E_MODULENOTFOUND);
    EXPECT_FALSE(factory->IsRegistered(kClassF));
}

TEST(ProcessObjectFactory, CreationsAndRegistrationsRunFromManyThreads) {
    auto factory = Factory();
    ASSERT_EQ(factory->Register(kClassE, &CreateString), OBJ_OK);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                RefPtr<pxLib::IRefObject> object;
                if (factory->CreateInstance(kClassE, pxLib::IID_IRefObject, object.put_void()) !=
                    OBJ_OK)
                    ++failures;
                if (factory->Register(kClassE, &CreateString) != OBJ_OK) ++failures;
                if (factory->Unregister(kClassE) != OBJ_OK) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(factory->Unregister(kClassE), OBJ_OK);
    EXPECT_FALSE(factory->IsRegisteredLocally(kClassE));
}

}  // namespace
