// Job texts as the host could hand them over: parsed, then read through every
// accessor the run reads the job with. jsoncpp's own errors are the expected
// outcome of a wrong document and are caught as the run catches them; anything
// else escaping, a sanitizer finding, or a job that changes on its way through
// StartFromValue's styled text is a fault.
#include "job/JobDescription.h"
#include "support/text/Utf.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace qvd::job;

// Input after the bytes FF FE is UTF-16LE (lone surrogates and all); any other
// input is UTF-8, which keeps the seed corpus readable.
std::u16string DecodeText(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        std::u16string text;
        for (size_t i = 2; i + 1 < size; i += 2) {
            text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
        }
        return text;
    }
    return pxLib::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
}

template <class Step>
void Guarded(Step&& step) {
    try {
        step();
    } catch (const Json::Exception&) {
        // The run's catch-all turns this into its error report.
    }
}

void ReadEverything(const Json::Value& job) {
    const JobReader reader{job};
    Guarded([&] {
        Json::Value entry;
        if (FindInstallerFileEntry(job, entry)) (void)reader.InstallerPath(entry);
    });
    std::u16string a, b;
    JsonKind kind = JsonKind::Null;
    bool flag = false;
    Guarded([&] { (void)reader.Silo(a); });
    Guarded([&] { (void)reader.ForceOverinstall(kind, flag); });
    Guarded([&] { (void)reader.CommandLine(a); });
    Guarded([&] { (void)reader.ContextIsSystem(); });
    Guarded([&] { (void)reader.Admin(); });
    Guarded([&] { (void)reader.ProductVersion(); });
    Guarded([&] { (void)reader.ProductVersionKey(); });
    Guarded([&] { (void)reader.RunKey(); });
    Guarded([&] { (void)reader.HasProductData(); });
    Guarded([&] { (void)reader.HasRunKey(); });
    Guarded([&] { (void)reader.HasInstallCache(); });
    Guarded([&] { (void)reader.InstallCache(a); });
    Guarded([&] { (void)reader.Token(a); });
    Guarded([&] { (void)reader.MachineName(a); });
    Guarded([&] { (void)reader.PartnerIds(a, b); });
    Guarded([&] { (void)reader.PayloadDestination(a); });
    Guarded([&] { (void)reader.JobId(a); });
    // The plain accessors on the root itself, every kind included.
    Guarded([&] { (void)AsText(job); });
    Guarded([&] { (void)AsStringValue(job); });
    Guarded([&] { (void)AsUnsigned(job); });
    Guarded([&] { (void)AsBool(job); });
}

bool IsUtf8(const std::string& text) {
    return pxLib::Utf16ToUtf8(pxLib::Utf8ToUtf16(text)) == text;
}

// jsoncpp turns a \u escape of a lone low surrogate into bytes that are not
// UTF-8, which its writer then spells U+FFFD: such a job cannot come back the
// same, and the readers see U+FFFD either way.
bool AllTextIsUtf8(const Json::Value& value) {
    if (value.isString()) return IsUtf8(value.asString());
    if (!value.isArray() && !value.isObject()) return true;
    for (auto i = value.begin(); i != value.end(); ++i) {
        if (value.isObject() && !IsUtf8(i.name())) return false;
        if (!AllTextIsUtf8(*i)) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Json::Value job;
    try {
        job = ParseJobText(DecodeText(data, size));
    } catch (const Json::Exception&) {
        return 0;  // nesting past the reader's limit: Start reports it
    }
    ReadEverything(job);

    // StartFromValue hands the job on as styled text; it must arrive unchanged.
    const Json::Value again = ParseJobText(StyledJobText(job));
    if (AllTextIsUtf8(job) && !(again == job)) std::abort();
    return 0;
}
