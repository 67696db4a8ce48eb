// The identities and slot orders hosts compile against, pinned to the text
// they are given in: every GUID written out as the system's description spells
// it, every slot by its number there. A typo in a header constant, or two
// operations swapped in a declaration, fails here whatever the other tests
// compare with.
#include "collections/values/IndexValueCollection.h"
#include "collections/values/KeyValueCollection.h"
#include "collections/values/MemoryImpl.h"
#include "collections/values/StringImpl.h"
#include "plugin/QVDHostInterface.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

GUID FromText(const wchar_t* text) {
    GUID id{};
    EXPECT_EQ(CLSIDFromString(text, &id), S_OK) << "not a GUID";
    return id;
}

GUID AsGuid(const pxLib::Guid& id) {
    GUID out;
    std::memcpy(&out, &id, sizeof(out));
    return out;
}

TEST(InterfaceIdentity, EveryIdIsTheOneTheDescriptionSpells) {
    const struct {
        const wchar_t* text;
        GUID id;
        const char* name;
    } rows[] = {
        {L"{C0239F12-0DE7-47DD-8B89-C16B6A1B4B40}", qvd::FACTORYID_QVDPlugin, "factory id"},
        {L"{00000000-0000-0000-0000-000000000000}", qvd::IID_IObjectBase, "base interface"},
        {L"{00000001-0000-0000-0000-000000000000}", qvd::IID_IObjectFactory, "generic factory"},
        {L"{AE9A53F3-AF14-4C9D-A26E-77B5D287A9CF}", qvd::IID_IPluginFactory, "IPluginFactory"},
        {L"{B76508D8-C247-11DD-AC29-0017F209DE16}", qvd::IID_IQVDPlugin, "IQVDPlugin"},
        {L"{E2C838C9-9B56-432C-BA5A-F8957BCB2848}", qvd::IID_IQVDPlugin2, "IQVDPlugin2"},
        {L"{9D8B7548-C24A-11DD-A91E-0017F209DE16}", qvd::CLSID_QVDPluginImplCOM, "COM class"},
        {L"{00000000-0000-0000-0000-000000000000}", AsGuid(pxLib::IID_IRefObject),
         "library base interface"},
        {L"{9958D891-C319-4C6C-BEB9-F9BFB37EA493}", AsGuid(pxLib::CLSID_pxTavKeyValueCollection),
         "pxTavKeyValueCollection"},
        {L"{740AB61D-8B4A-46CC-9D82-86F72E055477}", AsGuid(pxLib::CLSID_pxTavIndexValueCollection),
         "pxTavIndexValueCollection"},
        {L"{3F05A321-43B7-4578-93C8-CDC5F64A149A}", AsGuid(pxLib::CLSID_CStringImpl),
         "string object"},
        {L"{31324564-3B13-4533-8999-33990688F5A9}", AsGuid(pxLib::CLSID_CMemoryImpl),
         "memory object"},
    };
    for (const auto& row : rows) EXPECT_TRUE(IsEqualGUID(FromText(row.text), row.id)) << row.name;
}

// The table slot a virtual operation occupies, counted from 1 as the
// description counts. Under the Itanium C++ ABI, which both builds use, a
// pointer to a virtual member holds one more than its byte offset in the table.
template <class Member>
size_t SlotOf(Member member) {
    struct Representation {
        uintptr_t pointer;
        ptrdiff_t adjustment;
    };
    static_assert(sizeof(Member) == sizeof(Representation));
    Representation representation;
    std::memcpy(&representation, &member, sizeof(representation));
    EXPECT_EQ(representation.pointer % sizeof(void*), 1u) << "not a virtual operation";
    return (representation.pointer - 1) / sizeof(void*) + 1;
}

// IUnknown's query has a template overload beside the operation.
constexpr HRESULT (STDMETHODCALLTYPE IUnknown::*kComQueryInterface)(REFIID, void**) =
    &IUnknown::QueryInterface;

TEST(InterfaceIdentity, EveryOperationSitsInItsDescribedSlot) {
    using qvd::IObjectBase;
    const struct {
        size_t slot;
        size_t described;
        const char* name;
    } rows[] = {
        {SlotOf(&IObjectBase::QueryInterface), 1, "query-interface"},
        {SlotOf(&IObjectBase::AddRef), 2, "add-reference"},
        {SlotOf(&IObjectBase::Release), 3, "release"},
        {SlotOf(&qvd::IObjectOwner::ObjectReleased), 9, "owner: object-released"},
        {SlotOf(&qvd::IObjectOwner::ObjectAttached), 10, "owner: object-attached"},
        {SlotOf(&qvd::IPluginFactory::CreateInstance), 4, "factory: create instance"},
        {SlotOf(&qvd::IPluginFactory::CreateInstanceWithOwner), 5,
         "factory: create instance with owner"},
        {SlotOf(&qvd::IQVDPlugin::GetExitCode), 4, "IQVDPlugin::GetExitCode"},
        {SlotOf(&qvd::IQVDPlugin::GetDetail), 5, "IQVDPlugin::GetDetail"},
        {SlotOf(&qvd::IQVDPlugin::GetState), 6, "IQVDPlugin::GetState"},
        {SlotOf(&qvd::IQVDPlugin::CancelAndWait), 7, "IQVDPlugin::CancelAndWait"},
        {SlotOf(&qvd::IQVDPlugin::Start), 8, "IQVDPlugin::Start"},
        {SlotOf(&qvd::IQVDJobSink::ReportError), 1, "sink: ReportError"},
        {SlotOf(&qvd::IQVDJobSink::ReportStatus), 2, "sink: ReportStatus"},
        {SlotOf(kComQueryInterface), 1, "COM QueryInterface"},
        {SlotOf(&qvd::IQVDPluginCOM::AddRef), 2, "COM AddRef"},
        {SlotOf(&qvd::IQVDPluginCOM::Release), 3, "COM Release"},
        {SlotOf(&qvd::IQVDPluginCOM::GetExitCode), 4, "COM GetExitCode"},
        {SlotOf(&qvd::IQVDPluginCOM::GetDetail), 5, "COM GetDetail"},
        {SlotOf(&qvd::IQVDPluginCOM::GetState), 6, "COM GetState"},
        {SlotOf(&qvd::IQVDPluginCOM::StartFromValue), 7, "COM StartFromValue"},
        {SlotOf(&qvd::IQVDPluginCOM::CancelAndWait), 8, "COM CancelAndWait"},
        {SlotOf(&qvd::IQVDPluginCOM2::Start), 9, "COM Start"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.slot, row.described) << row.name;
}

}  // namespace
