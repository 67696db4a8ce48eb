#include "JobOutcome.h"

#include <gtest/gtest.h>

namespace {

using namespace qvd::job;
using qvdtest::Outcome;
using qvdtest::Text;

// The member "v" of {"v": <json>}, so every kind comes out of the real parser.
Json::Value ValueOf(const std::string& json) {
    const Json::Value doc = qvdtest::JobFromUtf8("{\"v\": " + json + "}");
    return doc["v"];
}

struct KindCase {
    const char* json;
    const char* hasMember;  // HasMember(value, "k")
    const char* member;     // AsText(Member(value, "k"))
    const char* text;
    const char* stringValue;
    const char* asUnsigned;
    const char* asBool;
};

TEST(JobAccessors, EachKindReadsOrRaisesAsTheJobDefinesIt) {
    using namespace qvdtest;
    const KindCase cases[] = {
        {"null", "false", "=", "=", kNotString, "=0", "=false"},
        {"7", kNotAnObject, kNotAnObject, "=7", kNotString, "=7", "=true"},
        {"0", kNotAnObject, kNotAnObject, "=0", kNotString, "=0", "=false"},
        {"-1", kNotAnObject, kNotAnObject, "=-1", kNotString,
         "LogicError: LargestInt out of UInt range", "=true"},
        {"4294967295", kNotAnObject, kNotAnObject, "=4294967295", kNotString, "=4294967295",
         "=true"},
        {"4294967296", kNotAnObject, kNotAnObject, "=4294967296", kNotString,
         "LogicError: LargestInt out of UInt range", "=true"},
        {"18446744073709551615", kNotAnObject, kNotAnObject, "=18446744073709551615", kNotString,
         "LogicError: LargestUInt out of UInt range", "=true"},
        {"2.5", kNotAnObject, kNotAnObject, "=2.5", kNotString, "=2", "=true"},
        {"-0.5", kNotAnObject, kNotAnObject, "=-0.5", kNotString,
         "LogicError: double out of UInt range", "=true"},
        {"0.0", kNotAnObject, kNotAnObject, "=0.0", kNotString, "=0", "=false"},
        {"\"abc\"", kNotAnObject, kNotAnObject, "=abc", "=abc", kNotUnsigned, kNotBool},
        {"\"\"", kNotAnObject, kNotAnObject, "=", "=", kNotUnsigned, kNotBool},
        {"true", kNotAnObject, kNotAnObject, "=true", kNotString, "=1", "=true"},
        {"false", kNotAnObject, kNotAnObject, "=false", kNotString, "=0", "=false"},
        {"[1]", kNotAnObject, kNotAnObject, kNotText, kNotString, kNotUnsigned, kNotBool},
        {"{\"k\": \"v\"}", "true", "=v", kNotText, kNotString, kNotUnsigned, kNotBool},
        {"{\"K\": \"v\"}", "false", "=", kNotText, kNotString, kNotUnsigned, kNotBool},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        const Json::Value value = ValueOf(c.json);
        EXPECT_EQ(Outcome([&] { return std::string(HasMember(value, u"k") ? "true" : "false"); }),
                  c.hasMember);
        EXPECT_EQ(Outcome([&] { return "=" + Text(AsText(Member(value, u"k"))); }), c.member);
        EXPECT_EQ(Outcome([&] { return "=" + Text(AsText(value)); }), c.text);
        EXPECT_EQ(Outcome([&] { return "=" + Text(AsStringValue(value)); }), c.stringValue);
        EXPECT_EQ(Outcome([&] { return "=" + std::to_string(AsUnsigned(value)); }), c.asUnsigned);
        EXPECT_EQ(Outcome([&] { return std::string(AsBool(value) ? "=true" : "=false"); }),
                  c.asBool);
    }
}

TEST(JobAccessors, TextCopyKeepsANulButThePointerReadEndsThere) {
    const Json::Value value = ValueOf("\"ab\\u0000cd\"");
    EXPECT_EQ(AsText(value), std::u16string(u"ab\0cd", 5));
    EXPECT_EQ(AsStringValue(value), u"ab");
}

TEST(JobParse, KeysAndStringsKeepTheirUtf16Text) {
    const std::u16string path = u"C:\\Temp\\\u00dcbung \u0436\U0001F600\\setup.exe";
    const std::u16string job =
        u"{\"\u043a\u043b\u044e\u0447\": \"C:\\\\Temp\\\\\u00dcbung "
        u"\u0436\U0001F600\\\\setup.exe\"}";
    const Json::Value root = ParseJobText(job);
    ASSERT_TRUE(HasMember(root, u"\u043a\u043b\u044e\u0447"));
    EXPECT_EQ(AsText(Member(root, u"\u043a\u043b\u044e\u0447")), path);
    EXPECT_EQ(AsStringValue(Member(root, u"\u043a\u043b\u044e\u0447")), path);
    // Escaped forms of the same characters read the same.
    const Json::Value escaped = ParseJobText(u"{\"v\": \"\\u00dc\\u0436\\ud83d\\ude00\"}");
    EXPECT_EQ(AsText(Member(escaped, u"v")), u"\u00dc\u0436\U0001F600");
}

TEST(JobParse, TextThatIsNotJsonLeavesNoObject) {
    for (const char16_t* text : {u"", u"not json", u"}{", u"\"unterminated"}) {
        SCOPED_TRACE(Text(text));
        const Json::Value root = ParseJobText(text);
        EXPECT_FALSE(root.isObject());
        EXPECT_FALSE(root.isArray());
    }
}

TEST(JobParse, SkipsALeadingByteOrderMark) {
    const Json::Value root = ParseJobText(u"\uFEFF{\"job_id\": \"j1\"}");
    EXPECT_EQ(AsText(Member(root, u"job_id")), u"j1");
}

TEST(JobParse, NestingPastTheReadersLimitRaisesInsteadOfExhaustingTheStack) {
    const auto nested = [](size_t depth) {
        return std::u16string(depth, u'[') + std::u16string(depth, u']');
    };
    EXPECT_TRUE(ParseJobText(nested(900)).isArray());
    EXPECT_EQ(Outcome([&] { return Text(StyledJobText(ParseJobText(nested(100000)))); }),
              "RuntimeError: Exceeded stackLimit in readValue().");
}

TEST(JobParse, StyledTextParsesBackToTheSameValue) {
    const Json::Value root = ParseJobText(
        u"{\"file_array\": [{\"type\": \"job_installer\", \"destination_file\": "
        u"\"C:\\\\\u00e9 \U0001F600.exe\"}], \"product_data\": {\"force_overinstall\": 1, "
        u"\"admin\": true, \"ratio\": 0.1, \"big\": 18446744073709551615, \"neg\": -5, "
        u"\"none\": null}, \"nul\": \"a\\u0000b\"}");
    ASSERT_TRUE(root.isObject());
    const std::u16string styled = StyledJobText(root);
    EXPECT_EQ(ParseJobText(styled), root);
    EXPECT_NE(styled.find(u'\n'), std::u16string::npos);
}

}  // namespace
