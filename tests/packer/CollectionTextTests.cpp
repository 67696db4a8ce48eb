// The text form of collections: every kind round-trips to the same bytes, odd
// stored values print so that they read back unchanged, and malformed or
// oversized descriptions are refused with the line that is wrong.
#include "CollectionText.h"
#include "PackerTestSupport.h"
#include "collections/values/IndexValueCollection.h"
#include "collections/archive/MemoryStream.h"
#include "support/text/Utf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

using packertest::Bytes;

std::string DataFile(const char* name) {
    const Bytes bytes =
        packertest::ReadBytes(pxLib::Utf8ToUtf16(std::string(QVD_TEST_PACKER_DATA "/") + name));
    return std::string(bytes.begin(), bytes.end());
}

std::string Dump(pxLib::pxTavKeyValueCollection& c) {
    std::string text, error;
    EXPECT_TRUE(qvdpack::DumpCollectionText(c, text, error)) << error;
    return text;
}

// text -> collection -> bytes -> collection -> text -> collection -> bytes.
void ExpectRoundTrip(const std::string& text) {
    pxLib::pxTavKeyValueCollection first;
    qvdpack::TextError error;
    ASSERT_TRUE(qvdpack::ParseCollectionText(text, first, error))
        << error.line << ": " << error.message;
    const Bytes saved = packertest::SavedCollection(first);
    ASSERT_FALSE(saved.empty());

    auto loaded = pxLib::pxTavKeyValueCollection::Create();
    auto stream = pxLib::MemoryStream::Create(saved);
    ASSERT_TRUE(loaded->Load(stream.get()));
    const std::string dumped = Dump(*loaded);
    pxLib::pxTavKeyValueCollection second;
    ASSERT_TRUE(qvdpack::ParseCollectionText(dumped, second, error))
        << error.line << ": " << error.message << "\n"
        << dumped;
    EXPECT_EQ(packertest::SavedCollection(second), saved) << dumped;
    EXPECT_EQ(Dump(second), dumped);
}

TEST(CollectionText, EveryKindComesBackToTheSameBytes) {
    ExpectRoundTrip(DataFile("every-kind.txt"));
    ExpectRoundTrip(DataFile("sample-layout.txt"));
    ExpectRoundTrip("");
}

TEST(CollectionText, OddStoredValuesPrintSoThatTheyReadBack) {
    auto c = pxLib::pxTavKeyValueCollection::Create();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(c->SetDouble(1, nan));
    EXPECT_TRUE(c->SetDouble(2, -0.0));
    EXPECT_TRUE(c->SetDouble(3, std::numeric_limits<double>::denorm_min()));
    EXPECT_TRUE(c->SetDouble(4, 1e300));
    EXPECT_TRUE(c->SetString(5, std::u16string{u'a', 0xDC00, u'"', u'\\', 0x7F, 0xD83D, 0xDE00}));
    EXPECT_TRUE(c->SetAnsiString(6, "\x01\x7f\xff"));
    EXPECT_TRUE(c->SetVariant(7, pxLib::Variant::Scalar(pxLib::VariantType::Bool, 1)));
    EXPECT_TRUE(c->SetVariant(8, pxLib::Variant::BstrBytes({'a', 0, 'b'})));
    EXPECT_TRUE(c->SetVariant(9, pxLib::Variant::Bstr(std::u16string{u'x', 0, u'y'})));
    EXPECT_TRUE(c->SetVariant(10, pxLib::Variant::R4(std::numeric_limits<float>::infinity())));
    EXPECT_TRUE(c->SetBinary(11, "", 0));
    const Bytes saved = packertest::SavedCollection(*c);
    const std::string text = Dump(*c);
    pxLib::pxTavKeyValueCollection back;
    qvdpack::TextError error;
    ASSERT_TRUE(qvdpack::ParseCollectionText(text, back, error)) << error.message << "\n" << text;
    EXPECT_EQ(packertest::SavedCollection(back), saved) << text;
    EXPECT_NE(text.find("2 double -0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("4 double 1e+300\n"), std::string::npos) << text;
}

struct Bad {
    const char* text;
    size_t line;
    const char* message;
};

TEST(CollectionText, RefusesMalformedDescriptions) {
    const Bad cases[] = {
        {"1 uint32 1\n1 uint32 2\n", 2, "appears twice"},
        {"4294967296 empty\n", 1, "a key is a number"},
        {"-1 empty\n", 1, "a key is a number"},
        {"\"1\" empty\n", 1, "a key is a number"},
        {"1\n", 1, "a type must follow"},
        {"1 float 2\n", 1, "unknown type"},
        {"1 int8 128\n", 1, "not a number"},
        {"1 uint8 -1\n", 1, "not a number"},
        {"1 uint64 18446744073709551616\n", 1, "not a number"},
        {"1 int32 12abc\n", 1, "not a number"},
        {"1 int32\n", 1, "expected 1 value"},
        {"1 int32 1 2\n", 1, "expected 1 value"},
        {"1 double inf\n", 1, "finite"},
        {"1 double bits:0x12\n", 1, "finite"},
        {"1 guid {DA1E64B0-A181-4752-B319-D625E05A987}\n", 1, "GUID"},
        {"1 record16 0011\n", 1, "32 hex"},
        {"1 binary 0g\n", 1, "hex digits"},
        {"1 binary 012\n", 1, "hex digits"},
        {"1 string abc\n", 1, "quoted"},
        {"1 string \"abc\n", 1, "unterminated"},
        {"1 string \"a\\qb\"\n", 1, "bad escape"},
        {"1 string \"a\\u00\"\n", 1, "bad \\u"},
        {"1 string \"a\\u0000b\"\n", 1, "NUL"},
        {"1 string \"\xC3\x28\"\n", 1, "ill-formed UTF-8"},
        {"1 string \"\xED\xA0\x80\"\n", 1, "ill-formed UTF-8"},
        {"1 ansi \"\xC3\xA9\"\n", 1, "\\xHH"},
        {"1 ansi \"\\x00\"\n", 1, "NUL"},
        {"1 variant\n", 1, "variant type"},
        {"1 variant i4 x\n", 1, "not a number"},
        {"1 variant bytes -\n", 1, "cannot be stored"},
        {"1 variant vector 1\n", 1, "unknown variant type"},
        {"1 variant array {\ni4 1\n", 2, "missing '}' of the array"},
        {"1 collection {\n2 empty\n", 2, "missing '}'"},
        {"1 collection\n", 1, "followed by {"},
        {"}\n", 1, "unexpected '}'"},
        {"1 empty\noptions optionA=false\n", 2, "options must come first"},
        {"options optionB=true\n", 1, "unknown option"},
        {"options optionA=maybe\n", 1, "name=true"},
        {"1 list {\n0 empty\n2 empty\n}\n", 3, "in order"},
        {"1 stringobject wide \"x\"\n", 1, "stringobject is"},
        {"1 memoryobject 0\n", 1, "hex digits"},
        {"1 empty a b c d e f g h i j k l m n o p\n", 1, "too many words"},
    };
    for (const Bad& c : cases) {
        pxLib::pxTavKeyValueCollection collection;
        EXPECT_TRUE(collection.SetUInt32(99, 1));
        qvdpack::TextError error;
        EXPECT_FALSE(qvdpack::ParseCollectionText(c.text, collection, error)) << c.text;
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message.find(c.message), std::string::npos)
            << c.text << " -> " << error.message;
        EXPECT_EQ(collection.GetCount(), 0u) << c.text;
    }
}

// levels nested blocks around one leaf line.
std::string Nested(const std::string& first, const std::string& open, const std::string& leaf,
                   int levels) {
    std::string text = first + " {\n";
    for (int i = 1; i < levels; ++i) text += open + " {\n";
    text += leaf + "\n";
    for (int i = 0; i < levels; ++i) text += "}\n";
    return text;
}

TEST(CollectionText, NestingIsBounded) {
    pxLib::pxTavKeyValueCollection c;
    qvdpack::TextError error;
    // The top collection is the first of 32 levels; the leaf is no object.
    const std::string deepest = Nested("1 collection", "1 collection", "1 empty", 31);
    ASSERT_TRUE(qvdpack::ParseCollectionText(deepest, c, error)) << error.message;
    EXPECT_FALSE(packertest::SavedCollection(c).empty());
    EXPECT_FALSE(qvdpack::ParseCollectionText(Nested("1 collection", "1 collection", "1 empty", 32),
                                              c, error));
    EXPECT_NE(error.message.find("too deep"), std::string::npos);
    // The leaf of 63 arrays is the 64th level of a variant.
    ASSERT_TRUE(
        qvdpack::ParseCollectionText(Nested("1 variant array", "array", "i4 1", 63), c, error))
        << error.message;
    EXPECT_FALSE(packertest::SavedCollection(c).empty());
    EXPECT_FALSE(
        qvdpack::ParseCollectionText(Nested("1 variant array", "array", "i4 1", 64), c, error));
    EXPECT_NE(error.message.find("too deep"), std::string::npos);
}

TEST(CollectionText, ALargeDescriptionIsRefusedBeforeParsing) {
    const std::string big(qvdpack::kMaxTextBytes + 1, '#');
    pxLib::pxTavKeyValueCollection c;
    qvdpack::TextError error;
    EXPECT_FALSE(qvdpack::ParseCollectionText(big, c, error));
    EXPECT_EQ(error.line, 0u);
    std::string fits(qvdpack::kMaxTextBytes, '#');
    fits.replace(0, 9, "1 empty\n#");
    EXPECT_TRUE(qvdpack::ParseCollectionText(fits, c, error)) << error.message;
}

TEST(CollectionText, CommentsBlankLinesAndCarriageReturnsAreIgnored) {
    pxLib::pxTavKeyValueCollection c;
    qvdpack::TextError error;
    ASSERT_TRUE(qvdpack::ParseCollectionText(
        "# heading\r\n\r\n  1001 uint32 0x40   # the kind\r\n1002 string \"a # b\"\r\n", c, error))
        << error.message;
    uint32_t kind = 0;
    std::u16string text;
    EXPECT_TRUE(c.GetUInt32(1001, kind));
    EXPECT_EQ(kind, 64u);
    EXPECT_TRUE(c.GetString(1002, text));
    EXPECT_EQ(text, u"a # b");
}

}  // namespace
