// The COM class QVDPluginImplCOM through DllGetClassObject: the class object,
// aggregation, both interfaces' slot orders and DllCanUnloadNow.
#include "PluginTestSupport.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>

namespace qvdtest {
namespace {

// A controlling unknown that aggregates the plug-in.
class Outer : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }

    std::atomic<ULONG> refs{1};
    IUnknown* inner = nullptr;
};

class ComClass : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(dll.module(), nullptr);
        ASSERT_EQ(dll.DllGetClassObject(qvd::CLSID_QVDPluginImplCOM, IID_IClassFactory,
                                        classObject.put_void()),
                  S_OK);
    }
    pxLib::ComPtr<qvd::IQVDPluginCOM2> CreatePlain() {
        pxLib::ComPtr<qvd::IQVDPluginCOM2> p;
        EXPECT_EQ(classObject->CreateInstance(nullptr, qvd::IID_IQVDPlugin2, p.put_void()), S_OK);
        return p;
    }
    LoadedPlugin dll;
    pxLib::ComPtr<IClassFactory> classObject;
};

TEST_F(ComClass, ClassObjectLookupAnswersOnlyItsClass) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.DllGetClassObject(qvd::CLSID_QVDPluginImplCOM, IID_IClassFactory, nullptr),
              E_POINTER);
    EXPECT_EQ(dll.DllGetClassObject(qvd::IID_IQVDPlugin, IID_IClassFactory, &out),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    pxLib::ComPtr<IClassFactory> again;
    EXPECT_EQ(
        dll.DllGetClassObject(qvd::CLSID_QVDPluginImplCOM, IID_IClassFactory, again.put_void()),
        S_OK);
    EXPECT_EQ(again.get(), classObject.get()) << "one class object per module";
}

TEST_F(ComClass, CreateInstanceFollowsTheAggregationRules) {
    Outer outer;
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(classObject->CreateInstance(&outer, qvd::IID_IQVDPlugin2, &out),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(classObject->CreateInstance(nullptr, qvd::IID_IQVDPlugin2, nullptr), E_POINTER);
    EXPECT_EQ(classObject->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // Aggregated: the inner unknown is its own, every other interface delegates.
    IUnknown* inner = nullptr;
    ASSERT_EQ(classObject->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)),
              S_OK);
    outer.inner = inner;
    qvd::IQVDPluginCOM2* plugin = nullptr;
    ASSERT_EQ(inner->QueryInterface(qvd::IID_IQVDPlugin2, reinterpret_cast<void**>(&plugin)), S_OK);
    EXPECT_EQ(outer.refs, 2u) << "the reference went to the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(plugin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    EXPECT_EQ(plugin->GetExitCode(), kExitCodeNotKnown);
    plugin->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(inner->Release(), 0u);
}

TEST_F(ComClass, BothInterfacesAreOneObjectWithTheirSlotOrders) {
    const pxLib::ComPtr<qvd::IQVDPluginCOM2> owned = CreatePlain();
    ASSERT_TRUE(owned);
    qvd::IQVDPluginCOM2* const plugin = owned.get();
    void* first = nullptr;
    ASSERT_EQ(plugin->QueryInterface(qvd::IID_IQVDPlugin, &first), S_OK);
    EXPECT_EQ(first, static_cast<void*>(plugin));
    static_cast<IUnknown*>(first)->Release();

    void** table = *reinterpret_cast<void***>(plugin);
    using U32Fn = ULONG (*)(void*);
    using StateFn = HRESULT (*)(void*, LONG*);
    using FromValueFn = HRESULT (*)(void*, const Json::Value&, qvd::IQVDJobSink*);
    using CancelFn = HRESULT (*)(void*);
    using StartFn = HRESULT (*)(void*, const wchar_t*, qvd::IQVDJobSink*);
    EXPECT_EQ(reinterpret_cast<U32Fn>(table[3])(plugin), kExitCodeNotKnown);  // GetExitCode
    EXPECT_EQ(reinterpret_cast<U32Fn>(table[4])(plugin), 0u);                 // GetDetail
    LONG state = -1;
    EXPECT_EQ(reinterpret_cast<StateFn>(table[5])(plugin, &state), S_OK);  // GetState
    EXPECT_EQ(state, 0);
    EXPECT_EQ(reinterpret_cast<StartFn>(table[8])(plugin, L"{}", nullptr), E_INVALIDARG);  // Start

    // Slot 7 (1-based) is StartFromValue: a job value without an installer entry.
    RecordingSink sink;
    Json::Value job(Json::objectValue);
    job["file_array"] = Json::Value(Json::arrayValue);
    EXPECT_EQ(reinterpret_cast<FromValueFn>(table[6])(plugin, job, &sink), S_OK);
    EXPECT_EQ(reinterpret_cast<CancelFn>(table[7])(plugin), S_OK);  // CancelAndWait
    reinterpret_cast<StateFn>(table[5])(plugin, &state);
    EXPECT_EQ(state, qvd::QVD_STATE_FAILED);
    EXPECT_EQ(sink.Calls(), (std::vector<SinkCall>{ErrorCall(qvd::QVD_E_NO_INSTALLER, 608),
                                                   StatusCall(qvd::QVD_STATUS_FAILED)}));
}

TEST_F(ComClass, CanUnloadOnlyWithoutComObjectsReferencesOrLocks) {
    // A reference to the class object keeps the module, as in any COM module.
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "the fixture holds the class object";
    pxLib::ComPtr<qvd::IQVDPluginCOM2> plugin = CreatePlain();
    ASSERT_TRUE(plugin);
    EXPECT_EQ(classObject->LockServer(TRUE), S_OK);
    classObject.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "a COM object and a lock are alive";
    plugin.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "the lock is held";

    pxLib::ComPtr<IClassFactory> again;
    ASSERT_EQ(
        dll.DllGetClassObject(qvd::CLSID_QVDPluginImplCOM, IID_IClassFactory, again.put_void()),
        S_OK);
    EXPECT_EQ(again->LockServer(FALSE), S_OK);
    EXPECT_EQ(dll.DllCanUnloadNow(), S_FALSE) << "the class object is referenced";
    again.reset();
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK);

    pxLib::ComPtr<qvd::IQVDPlugin> hostObject = dll.CreatePlugin();
    ASSERT_TRUE(hostObject);
    EXPECT_EQ(dll.DllCanUnloadNow(), S_OK) << "idle host-model objects do not lock the COM module";
}

}  // namespace
}  // namespace qvdtest
