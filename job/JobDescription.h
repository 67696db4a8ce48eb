// The job description: the host's JSON document, parsed once with jsoncpp and
// read through accessors that take and give UTF-16. Accessors raise jsoncpp's
// own errors (Json::LogicError, Json::RuntimeError) exactly where the
// document has the wrong kind of value; the run sequence catches them.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace qvd::job {

// Value kinds as log lines number them (jsoncpp's ValueType).
enum class JsonKind : int {
    Null = 0,
    Int = 1,
    UInt = 2,
    Real = 3,
    String = 4,
    Boolean = 5,
    Array = 6,
    Object = 7
};

// Parses with the reader's default settings; whether it succeeded is not
// reported: text that is not JSON leaves whatever the reader produced.
// Nesting deeper than the reader's stack limit raises Json::RuntimeError.
Json::Value ParseJobText(std::u16string_view text);
// Styled JSON text of a value, as StartFromValue passes it on.
std::u16string StyledJobText(const Json::Value& value);

// The four accessors.
// True when value is an object with key; false on null; raises on any other kind.
[[nodiscard]] bool HasMember(const Json::Value& value, std::u16string_view key);
// The member, or null when missing; raises when value is neither object nor null.
Json::Value Member(const Json::Value& value, std::u16string_view key);
// Text copy: null "", booleans "true"/"false", numbers in decimal, strings as
// they are; raises "Type is not convertible to string" for containers.
std::u16string AsText(const Json::Value& value);
// Strings only, up to the first NUL as a C string reads; raises
// "in Json::Value::asCString(): requires stringValue".
std::u16string AsStringValue(const Json::Value& value);
// Numbers in range, booleans 0/1, null 0; raises otherwise.
uint32_t AsUnsigned(const Json::Value& value);
// null false, booleans, numbers (non-zero true); raises for strings and containers.
[[nodiscard]] bool AsBool(const Json::Value& value);

// The first element of file_array (array or object, in order) whose "type" is
// exactly "job_installer", copied out. Member tests as everywhere: a root or an
// element that is neither object nor null raises.
[[nodiscard]] bool FindInstallerFileEntry(const Json::Value& job, Json::Value& entry);

// Each key of the document, read exactly the way the run sequence needs it.
// A "present" result is false when the key (or its parent) is absent. The
// silo, payload destination and job id are then empty, which is how most
// callers take them, so those three results may go unread.
struct JobReader {
    const Json::Value& job;

    std::u16string InstallerPath(const Json::Value& entry) const;  // destination_file, "" if absent
    bool Silo(std::u16string& silo) const;                         // product_data.silo
    // product_data.force_overinstall: present with its kind; forced when kind 1 and non-zero.
    [[nodiscard]] bool ForceOverinstall(JsonKind& kind, bool& forced) const;
    [[nodiscard]] bool CommandLine(std::u16string& text) const;  // product_data.command_line
    [[nodiscard]] bool ContextIsSystem() const;                  // product_data.context == "system"
    [[nodiscard]] bool Admin() const;                            // product_data.admin
    std::u16string ProductVersion() const;                       // "" when absent
    std::u16string ProductVersionKey() const;                    // "" when absent
    std::u16string RunKey() const;                               // "" when absent
    [[nodiscard]] bool HasProductData() const;
    [[nodiscard]] bool HasRunKey() const;        // product_data has run_key
    [[nodiscard]] bool HasInstallCache() const;  // product_data has install_cache
    [[nodiscard]] bool InstallCache(
        std::u16string& unexpanded) const;                  // product_data.install_cache
    [[nodiscard]] bool Token(std::u16string& token) const;  // distribution.ebe_token, else .token
    [[nodiscard]] bool MachineName(std::u16string& name) const;  // distribution.machinename
    // distribution.PartnerID and PartnerUnitID, both required, as decimal text.
    [[nodiscard]] bool PartnerIds(std::u16string& partnerId, std::u16string& partnerUnitId) const;
    bool PayloadDestination(std::u16string& path) const;  // environment.PAYLOAD_DESTINATION
    bool JobId(std::u16string& id) const;                 // job_id
};

}  // namespace qvd::job
