#include "job/JobDescription.h"

#include "support/text/Utf.h"

#include <memory>

namespace qvd::job {
namespace {

std::string Key(std::u16string_view key) {
    return pxLib::Utf16ToUtf8(key);
}

// jsoncpp's const lookup: a reference to the member or to its null singleton,
// raising on anything but an object or null. Saves copying whole subtrees.
const Json::Value& MemberRef(const Json::Value& value, std::u16string_view key) {
    return value[Key(key)];
}

// Member test on parent, then read as text (copy).
bool ReadTextIfPresent(const Json::Value& parent, std::u16string_view key, std::u16string& out) {
    if (!HasMember(parent, key)) return false;
    out = AsText(MemberRef(parent, key));
    return true;
}

// Member test on parent, then read as text (pointer).
bool ReadStringIfPresent(const Json::Value& parent, std::u16string_view key, std::u16string& out) {
    if (!HasMember(parent, key)) return false;
    out = AsStringValue(MemberRef(parent, key));
    return true;
}

}  // namespace

Json::Value ParseJobText(std::u16string_view text) {
    const std::string utf8 = pxLib::Utf16ToUtf8(text);
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    Json::String errors;
    // The host's job is judged by its content, not by the reader's verdict.
    reader->parse(utf8.data(), utf8.data() + utf8.size(), &root, &errors);
    return root;
}

std::u16string StyledJobText(const Json::Value& value) {
    return pxLib::Utf8ToUtf16(value.toStyledString());
}

bool HasMember(const Json::Value& value, std::u16string_view key) {
    return value.isMember(Key(key));
}

Json::Value Member(const Json::Value& value, std::u16string_view key) {
    return MemberRef(value, key);
}

std::u16string AsText(const Json::Value& value) {
    return pxLib::Utf8ToUtf16(value.asString());
}

std::u16string AsStringValue(const Json::Value& value) {
    const char* text = value.asCString();
    // A pointer read ends at the first NUL, as any C string does.
    return text == nullptr ? std::u16string() : pxLib::Utf8ToUtf16(text);
}

uint32_t AsUnsigned(const Json::Value& value) {
    return value.asUInt();
}

bool AsBool(const Json::Value& value) {
    return value.asBool();
}

bool FindInstallerFileEntry(const Json::Value& job, Json::Value& entry) {
    if (job.isNull() || !HasMember(job, u"file_array")) return false;
    const Json::Value& files = MemberRef(job, u"file_array");
    if (!files.isArray() && !files.isObject()) return false;
    // jsoncpp walks arrays by index and objects by member name.
    for (const Json::Value& file : files) {
        if (HasMember(file, u"type") && AsText(MemberRef(file, u"type")) == u"job_installer") {
            entry = file;
            return true;
        }
    }
    return false;
}

std::u16string JobReader::InstallerPath(const Json::Value& entry) const {
    return AsText(MemberRef(entry, u"destination_file"));
}

bool JobReader::HasProductData() const {
    return HasMember(job, u"product_data");
}

bool JobReader::Silo(std::u16string& silo) const {
    if (!HasProductData()) return false;
    return ReadStringIfPresent(MemberRef(job, u"product_data"), u"silo", silo);
}

bool JobReader::ForceOverinstall(JsonKind& kind, bool& forced) const {
    const Json::Value& productData = MemberRef(job, u"product_data");
    if (!HasMember(productData, u"force_overinstall")) return false;
    const Json::Value& value = MemberRef(productData, u"force_overinstall");
    kind = static_cast<JsonKind>(value.type());
    // The whole 64-bit value, so that a large non-zero number cannot raise or read as 0.
    forced = kind == JsonKind::Int && value.asLargestInt() != 0;
    return true;
}

bool JobReader::CommandLine(std::u16string& text) const {
    return ReadTextIfPresent(MemberRef(job, u"product_data"), u"command_line", text);
}

bool JobReader::ContextIsSystem() const {
    if (!HasProductData()) return false;
    std::u16string context;
    return ReadStringIfPresent(MemberRef(job, u"product_data"), u"context", context) &&
           context == u"system";
}

bool JobReader::Admin() const {
    const Json::Value& productData = MemberRef(job, u"product_data");
    return HasMember(productData, u"admin") && AsBool(MemberRef(productData, u"admin"));
}

std::u16string JobReader::ProductVersion() const {
    return AsText(MemberRef(MemberRef(job, u"product_data"), u"product_version"));
}

std::u16string JobReader::ProductVersionKey() const {
    return AsText(MemberRef(MemberRef(job, u"product_data"), u"product_version_key"));
}

std::u16string JobReader::RunKey() const {
    return AsText(MemberRef(MemberRef(job, u"product_data"), u"run_key"));
}

bool JobReader::HasRunKey() const {
    return HasProductData() && HasMember(MemberRef(job, u"product_data"), u"run_key");
}

bool JobReader::HasInstallCache() const {
    return HasProductData() && HasMember(MemberRef(job, u"product_data"), u"install_cache");
}

bool JobReader::InstallCache(std::u16string& unexpanded) const {
    return ReadStringIfPresent(MemberRef(job, u"product_data"), u"install_cache", unexpanded);
}

bool JobReader::Token(std::u16string& token) const {
    const Json::Value& distribution = MemberRef(job, u"distribution");
    return ReadTextIfPresent(distribution, u"ebe_token", token) ||
           ReadTextIfPresent(distribution, u"token", token);
}

bool JobReader::MachineName(std::u16string& name) const {
    return ReadTextIfPresent(MemberRef(job, u"distribution"), u"machinename", name);
}

bool JobReader::PartnerIds(std::u16string& partnerId, std::u16string& partnerUnitId) const {
    if (!HasMember(job, u"distribution")) return false;
    const Json::Value& distribution = MemberRef(job, u"distribution");
    if (!HasMember(distribution, u"PartnerID") || !HasMember(distribution, u"PartnerUnitID")) {
        return false;
    }
    const uint32_t id = AsUnsigned(MemberRef(distribution, u"PartnerID"));
    const uint32_t unitId = AsUnsigned(MemberRef(distribution, u"PartnerUnitID"));
    partnerId = pxLib::Utf8ToUtf16(std::to_string(id));
    partnerUnitId = pxLib::Utf8ToUtf16(std::to_string(unitId));
    return true;
}

bool JobReader::PayloadDestination(std::u16string& path) const {
    return ReadStringIfPresent(MemberRef(job, u"environment"), u"PAYLOAD_DESTINATION", path);
}

bool JobReader::JobId(std::u16string& id) const {
    return ReadTextIfPresent(job, u"job_id", id);
}

}  // namespace qvd::job
