// The DLL's exports, its factory and the plug-in object's host-model contract,
// through the DLL exactly as a host loads it.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>

namespace qvdtest {
namespace {

std::set<std::string> ExportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    std::set<std::string> names;
    if (dir.VirtualAddress == 0) return names;
    const auto* exports =
        reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
    const auto* nameRvas = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
    for (DWORD i = 0; i < exports->NumberOfNames; ++i)
        names.insert(reinterpret_cast<const char*>(base + nameRvas[i]));
    EXPECT_EQ(exports->NumberOfFunctions, exports->NumberOfNames) << "exports without names";
    return names;
}

// An owner as a host supplies it: counts its references and what it is told.
class RecordingOwner : public qvd::IObjectOwner {
public:
    qvd::OBJRESULT QueryInterface(const GUID&, void** out) override {
        *out = this;
        AddRef();
        return qvd::OBJ_OK;
    }
    int64_t AddRef() override { return ++refs; }
    int64_t Release() override { return --refs; }
    qvd::OBJRESULT OwnerSlot4() override { return 0; }
    qvd::OBJRESULT OwnerSlot5() override { return 0; }
    qvd::OBJRESULT OwnerSlot6() override { return 0; }
    qvd::OBJRESULT OwnerSlot7() override { return 0; }
    qvd::OBJRESULT OwnerSlot8() override { return 0; }
    qvd::OBJRESULT ObjectReleased(HINSTANCE module) override {
        releasedFrom = module;
        refsWhenReleased = refs.load();
        return qvd::OBJ_OK;
    }
    qvd::OBJRESULT ObjectAttached(HINSTANCE) override { return qvd::OBJ_OK; }

    std::atomic<int64_t> refs{1};
    HINSTANCE releasedFrom = nullptr;
    int64_t refsWhenReleased = 0;
};

class HostModel : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(dll.module(), nullptr) << "cannot load the plug-in"; }
    LoadedPlugin dll;
};

TEST_F(HostModel, ExportsExactlyTheFourEntryPointsUndecorated) {
    EXPECT_EQ(ExportedNames(dll.module()),
              (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "GetFactory",
                                     "GetObjectCount"}));
}

TEST_F(HostModel, GetFactoryHandsOutTheFactoryOnlyForItsGuid) {
    const uint32_t before = dll.GetObjectCount();
    void* factory = nullptr;
    ASSERT_EQ(dll.GetFactory(&qvd::FACTORYID_QVDPlugin, &factory), qvd::OBJ_OK);
    ASSERT_NE(factory, nullptr);
    EXPECT_EQ(dll.GetObjectCount(), before + 1);

    const GUID others[] = {qvd::IID_IPluginFactory, qvd::IID_IObjectBase, qvd::IID_IQVDPlugin};
    for (const GUID& other : others) {
        void* none = reinterpret_cast<void*>(1);
        EXPECT_EQ(dll.GetFactory(&other, &none), qvd::OBJ_E_INVALIDARG);
    }
    EXPECT_EQ(dll.GetFactory(&qvd::FACTORYID_QVDPlugin, nullptr), qvd::OBJ_E_INVALIDARG);
    EXPECT_EQ(dll.GetObjectCount(), before + 1);

    auto* f = static_cast<qvd::IPluginFactory*>(factory);
    const GUID answered[] = {qvd::IID_IObjectBase, qvd::IID_IObjectFactory,
                             qvd::IID_IPluginFactory};
    for (const GUID& iid : answered) {
        void* same = nullptr;
        EXPECT_EQ(f->QueryInterface(iid, &same), qvd::OBJ_OK);
        EXPECT_EQ(same, factory);
        f->Release();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->QueryInterface(qvd::IID_IQVDPlugin, &none), qvd::OBJ_E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(f->QueryInterface(qvd::IID_IObjectBase, nullptr), qvd::OBJ_E_INVALIDARG);

    EXPECT_EQ(f->Release(), 0);
    EXPECT_EQ(dll.GetObjectCount(), before);
}

TEST_F(HostModel, CreateInstanceAnswersThePluginGuidsAndNothingElse) {
    qvd::IPluginFactory* factory = nullptr;
    ASSERT_EQ(dll.GetFactory(&qvd::FACTORYID_QVDPlugin, reinterpret_cast<void**>(&factory)),
              qvd::OBJ_OK);
    const uint32_t withFactory = dll.GetObjectCount();

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(qvd::IID_IPluginFactory, &out), qvd::OBJ_E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(dll.GetObjectCount(), withFactory);
    EXPECT_EQ(factory->CreateInstance(qvd::IID_IQVDPlugin, nullptr), qvd::OBJ_E_INVALIDARG);

    void* plugin = nullptr;
    // Success is 0, not OBJ_OK: hosts test by sign.
    EXPECT_EQ(factory->CreateInstance(qvd::IID_IQVDPlugin, &plugin), 0);
    ASSERT_TRUE(plugin);
    EXPECT_EQ(dll.GetObjectCount(), withFactory + 1);
    auto* p = static_cast<qvd::IQVDPlugin*>(plugin);
    for (const GUID& iid : {qvd::IID_IObjectBase, qvd::IID_IQVDPlugin, qvd::IID_IQVDPlugin2}) {
        void* same = nullptr;
        EXPECT_EQ(p->QueryInterface(iid, &same), qvd::OBJ_OK);
        EXPECT_EQ(same, plugin);
        p->Release();
    }
    EXPECT_EQ(p->Release(), 0);
    EXPECT_EQ(factory->Release(), 0);
    EXPECT_EQ(dll.GetObjectCount(), withFactory - 1);
}

TEST_F(HostModel, OwnerIsHeldAndToldWhenTheObjectGoes) {
    pxLib::ComPtr<qvd::IPluginFactory> factory;
    ASSERT_EQ(dll.GetFactory(&qvd::FACTORYID_QVDPlugin, factory.put_void()), qvd::OBJ_OK);
    RecordingOwner owner;
    pxLib::ComPtr<qvd::IQVDPlugin> plugin;
    ASSERT_EQ(factory->CreateInstanceWithOwner(qvd::IID_IQVDPlugin2, plugin.put_void(), &owner), 0);
    factory.reset();
    EXPECT_EQ(owner.refs, 2);
    plugin.reset();
    EXPECT_EQ(owner.releasedFrom, dll.module());
    EXPECT_GE(owner.refsWhenReleased, 1) << "the owner must still be referenced while told";
    EXPECT_EQ(owner.refs, 1);
}

TEST_F(HostModel, NewObjectReportsItsInitialFieldsAndRefusesNullArguments) {
    pxLib::ComPtr<qvd::IQVDPlugin> plugin = dll.CreatePlugin();
    ASSERT_TRUE(plugin);
    int32_t state = -99;
    EXPECT_EQ(plugin->GetState(&state), S_OK);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(plugin->GetExitCode(), kExitCodeNotKnown);
    EXPECT_EQ(plugin->GetDetail(), 0u);

    RecordingSink sink;
    EXPECT_EQ(plugin->Start(L"{}", nullptr), E_INVALIDARG);
    EXPECT_EQ(plugin->Start(nullptr, &sink), E_INVALIDARG);
    EXPECT_EQ(plugin->GetState(&state), S_OK);
    EXPECT_EQ(state, 0);
    EXPECT_EQ(plugin->GetState(nullptr), E_POINTER);
    // Nothing to join before a Start: returns after signalling.
    EXPECT_EQ(plugin->CancelAndWait(), S_OK);
    EXPECT_TRUE(sink.Calls().empty());
}

TEST_F(HostModel, PluginInterfaceSlotsAreInTheirOrder) {
    const pxLib::ComPtr<qvd::IQVDPlugin> owned = dll.CreatePlugin();
    ASSERT_TRUE(owned);
    qvd::IQVDPlugin* const plugin = owned.get();
    void** table = *reinterpret_cast<void***>(plugin);
    using U32Fn = uint32_t (*)(void*);
    using StateFn = HRESULT (*)(void*, int32_t*);
    using CancelFn = HRESULT (*)(void*);
    using StartFn = HRESULT (*)(void*, const wchar_t*, void*);
    EXPECT_EQ(reinterpret_cast<U32Fn>(table[3])(plugin), kExitCodeNotKnown);  // GetExitCode
    EXPECT_EQ(reinterpret_cast<U32Fn>(table[4])(plugin), 0u);                 // GetDetail
    int32_t state = -1;
    EXPECT_EQ(reinterpret_cast<StateFn>(table[5])(plugin, &state), S_OK);  // GetState
    EXPECT_EQ(state, 0);
    EXPECT_EQ(reinterpret_cast<CancelFn>(table[6])(plugin), S_OK);  // CancelAndWait
    EXPECT_EQ(reinterpret_cast<StartFn>(table[7])(plugin, nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
}  // namespace qvdtest
