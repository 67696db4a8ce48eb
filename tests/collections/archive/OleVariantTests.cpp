// OLE VARIANTs at the Windows boundary, with the real OLE automation runtime:
// BSTRs, SAFEARRAYs and DECIMALs round-trip through the archive, and what the
// format does not store (objects above all) is never written.
#include "collections/HexBytes.h"

#include "collections/archive/MemoryArchive.h"
#include "collections/archive/OleVariant.h"
#include "support/system/ComPtr.h"

#include <gtest/gtest.h>

#include <ocidl.h>

namespace {

using pxLib::CArchive;
using pxLib::CMemoryArchive;
using qvdtest::Hex;
using qvdtest::ToHex;

// A VARIANT cleared when it goes.
struct ScopedVariant {
    ScopedVariant() { VariantInit(&v); }
    ~ScopedVariant() { VariantClear(&v); }
    VARIANT v;
};

SAFEARRAY* ByteVector(std::initializer_list<uint8_t> bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    uint8_t* data = nullptr;
    SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    std::copy(bytes.begin(), bytes.end(), data);
    SafeArrayUnaccessData(array);
    return array;
}

std::vector<uint8_t> Written(const VARIANT& value) {
    CMemoryArchive archive(CArchive::Mode::Store);
    EXPECT_TRUE(archive.WriteVariant(value));
    return archive.Block();
}

TEST(OleVariants, ScalarsStringsAndArraysRoundTripThroughTheArchive) {
    ScopedVariant text;
    text.v.vt = VT_BSTR;
    text.v.bstrVal = SysAllocString(L"hi");
    EXPECT_EQ(ToHex(Written(text.v)), Hex("0B 0A000000 0800 04000000 6800 6900"));

    ScopedVariant bytes;
    bytes.v.vt = VT_ARRAY | VT_UI1;
    bytes.v.parray = ByteVector({1, 2, 3});

    ScopedVariant decimal;
    VarDecFromI4(-12345, &decimal.v.decVal);
    decimal.v.vt = VT_DECIMAL;
    decimal.v.decVal.scale = 2;

    ScopedVariant list;
    list.v.vt = VT_ARRAY | VT_VARIANT;
    list.v.parray = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    VARIANT* elements = nullptr;
    ASSERT_HRESULT_SUCCEEDED(
        SafeArrayAccessData(list.v.parray, reinterpret_cast<void**>(&elements)));
    elements[0].vt = VT_I4;
    elements[0].lVal = -5;
    VariantCopy(&elements[1], &text.v);
    VariantCopy(&elements[2], &bytes.v);
    SafeArrayUnaccessData(list.v.parray);

    ScopedVariant number;
    number.v.vt = VT_R8;
    number.v.dblVal = 2.5;

    const VARIANT* values[] = {&text.v, &bytes.v, &decimal.v, &list.v, &number.v};
    for (const VARIANT* value : values) {
        SCOPED_TRACE(value->vt);
        const std::vector<uint8_t> stored = Written(*value);
        CMemoryArchive load(CArchive::Mode::Load, stored);
        ScopedVariant read;
        ASSERT_TRUE(load.ReadVariant(read.v));
        EXPECT_EQ(read.v.vt, value->vt);
        EXPECT_EQ(ToHex(Written(read.v)), ToHex(stored));
    }

    CMemoryArchive load(CArchive::Mode::Load, Written(decimal.v));
    ScopedVariant read;
    ASSERT_TRUE(load.ReadVariant(read.v));
    EXPECT_EQ(VarDecCmp(&read.v.decVal, &decimal.v.decVal), VARCMP_EQ);
}

// An object that can save itself to a stream.
class PersistingObject final : public IPersistStream {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) ||
            IsEqualIID(iid, IID_IPersistStream)) {
            *out = static_cast<IPersistStream*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
        *id = CLSID_NULL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Save(IStream*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override {
        size->QuadPart = 0;
        return S_OK;
    }

private:
    ULONG m_refs = 1;
};

TEST(OleVariants, AnObjectIsNeverWrittenEvenWhenItCanPersistItself) {
    PersistingObject object;
    VARIANT unknown;
    unknown.vt = VT_UNKNOWN;
    unknown.punkVal = &object;
    VARIANT dispatch;
    dispatch.vt = VT_DISPATCH;
    dispatch.pdispVal = reinterpret_cast<IDispatch*>(static_cast<IUnknown*>(&object));
    for (const VARIANT* value : {&unknown, &dispatch}) {
        EXPECT_TRUE(pxLib::IsStorableOleVariant(*value));  // the checker lets it through
        pxLib::Variant portable;
        EXPECT_FALSE(pxLib::FromOleVariant(*value, portable));
        CMemoryArchive archive(CArchive::Mode::Store);
        EXPECT_FALSE(archive.WriteVariant(*value));
        EXPECT_TRUE(archive.Block().empty());
        EXPECT_EQ(archive.GetByteCount(), 0u);
    }
}

TEST(OleVariants, TypesTheFormatDoesNotStoreAreRefused) {
    ScopedVariant null;
    null.v.vt = VT_NULL;
    ScopedVariant currency;
    currency.v.vt = VT_CY;
    LONG value = 5;
    VARIANT byReference;
    byReference.vt = VT_I4 | VT_BYREF;
    byReference.plVal = &value;
    ScopedVariant longs;
    longs.v.vt = VT_ARRAY | VT_I4;
    longs.v.parray = SafeArrayCreateVector(VT_I4, 0, 2);
    ScopedVariant offset;  // lower bound 1
    offset.v.vt = VT_ARRAY | VT_UI1;
    offset.v.parray = SafeArrayCreateVector(VT_UI1, 1, 2);
    ScopedVariant square;
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    square.v.vt = VT_ARRAY | VT_UI1;
    square.v.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    ScopedVariant empty;
    empty.v.vt = VT_ARRAY | VT_UI1;
    empty.v.parray = SafeArrayCreateVector(VT_UI1, 0, 0);

    const VARIANT* values[] = {&null.v,   &currency.v, &byReference, &longs.v,
                               &offset.v, &square.v,   &empty.v};
    for (const VARIANT* v : values) {
        SCOPED_TRACE(v->vt);
        CMemoryArchive archive(CArchive::Mode::Store);
        EXPECT_FALSE(archive.WriteVariant(*v));
        EXPECT_TRUE(archive.Block().empty());
    }
}

TEST(OleVariants, AFailedReadLeavesTheDestinationEmptyAndTheArchiveUnmoved) {
    CMemoryArchive load(CArchive::Mode::Load, qvdtest::FromHex("0B 06000000 1120 00000000"));
    ScopedVariant read;
    read.v.vt = VT_BSTR;
    read.v.bstrVal = SysAllocString(L"old");
    EXPECT_FALSE(load.ReadVariant(read.v));
    EXPECT_EQ(read.v.vt, VT_EMPTY);
    uint64_t position;
    ASSERT_TRUE(load.GetPosition(position));
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(load.GetByteCount(), 0u);
}

}  // namespace
