// The verifier's text handling over hostile input: the path normaliser's
// rules, the signer checks over a certificate's names and usages, and the
// file cache's key. The bytes are UTF-16LE parts split at NUL units:
//   path, device of C:, device of Q:, subject text, common name, organisation,
//   unit, locality, state, country, usages (";"-separated), then maker names
//   1 to 5, maker unit, marker, platform organisation, platform unit and
//   alternate name of a second identity (missing parts are empty).
#include "trust/FileCache.h"
#include "trust/PathText.h"
#include "trust/SignerRules.h"

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using pxLib::SubjectAttribute;
using pxLib::TrustLevel;
using pxLib::ValidationError;

// Where each part of the input lies in the list of parts.
constexpr size_t kPath = 0;
constexpr size_t kDriveC = 1;
constexpr size_t kDriveQ = 2;
constexpr size_t kSubjectText = 3;
constexpr size_t kSubjectAttributes = 4;  // six parts, in the order of SubjectAttribute
constexpr size_t kUsages = kSubjectAttributes + 6;
constexpr size_t kIdentity = 11;  // ten parts from here
constexpr size_t kPartCount = kIdentity + 10;

class PartDrives final : public pxLib::IDriveDevices {
public:
    explicit PartDrives(const std::vector<std::u16string>& parts) : m_parts(parts) {}
    bool FirstTarget(char16_t letter, std::u16string& target) override {
        const size_t part = letter == u'C' ? kDriveC : letter == u'Q' ? kDriveQ : kPartCount;
        if (part == kPartCount || m_parts[part].empty()) return false;
        target = m_parts[part];
        return true;
    }

private:
    const std::vector<std::u16string>& m_parts;
};

class PartCertificate final : public pxLib::ISignerCertificate {
public:
    explicit PartCertificate(const std::vector<std::u16string>& parts) : m_parts(parts) {}
    ValidationError ReadUsages(std::vector<std::string>& usages) override {
        usages.clear();
        std::string usage;
        for (char16_t c : m_parts[kUsages]) {
            if (c == u';') {
                usages.push_back(usage);
                usage.clear();
            } else {
                usage.push_back(static_cast<char>(c & 0x7F));
            }
        }
        usages.push_back(usage);
        return ValidationError::VT_TRUSTED;
    }
    ValidationError ReadSubjectText(std::u16string& text) override {
        text = m_parts[kSubjectText];
        return ValidationError::VT_TRUSTED;
    }
    bool ReadAttribute(SubjectAttribute attribute, std::u16string& value) override {
        value = m_parts[kSubjectAttributes + static_cast<size_t>(attribute)];
        return !value.empty();
    }

private:
    const std::vector<std::u16string>& m_parts;
};

bool StartsWith(const std::u16string& text, std::u16string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

void CheckPathRules(const std::vector<std::u16string>& parts) {
    PartDrives drives(parts);
    std::u16string output;
    if (!pxLib::ApplyPathTextRules(parts[kPath], drives, output)) return;
    // Never a DOS-devices prefix left; a plain path only loses its quotes.
    if (StartsWith(output, u"\\??\\")) __builtin_trap();
    const std::u16string& input = parts[kPath];
    const size_t first = input.find_first_not_of(u'"');
    const std::u16string unquoted =
        first == std::u16string::npos
            ? std::u16string()
            : input.substr(first, input.find_last_not_of(u'"') - first + 1);
    if (!StartsWith(unquoted, u"\\??\\") && !StartsWith(unquoted, u"\\Device\\") &&
        output != unquoted)
        __builtin_trap();
    if (output.size() > parts[kPath].size() + parts[kDriveC].size() + parts[kDriveQ].size() + 2)
        __builtin_trap();
}

void CheckSigner(const std::vector<std::u16string>& parts, const pxLib::TrustIdentity& identity) {
    ValidationError results[5];
    for (uint32_t level = 1; level <= 5; ++level) {
        PartCertificate certificate(parts);
        bool system = true, driver = true;
        results[level - 1] =
            pxLib::SignerChecks(&certificate, static_cast<TrustLevel>(level),
                                pxLib::TrustMode::NoRevocationCheck, identity, system, driver);
        const ValidationError r = results[level - 1];
        if (r != ValidationError::VT_TRUSTED && r != ValidationError::VT_NOT_TRUSTED)
            __builtin_trap();
        // The usages only count on a code-signing certificate.
        std::vector<std::string> usages;
        certificate.ReadUsages(usages);
        bool codeSigning = false;
        for (const auto& u : usages) codeSigning |= u == pxLib::kCodeSigningUsage;
        if (!codeSigning && (system || driver)) __builtin_trap();
    }
    // Levels 1 and 2 ask the same; a publisher's level passes only what level 1 passes.
    if (results[0] != results[1]) __builtin_trap();
    for (int publisher = 2; publisher < 5; ++publisher)
        if (results[publisher] == ValidationError::VT_TRUSTED &&
            results[0] != ValidationError::VT_TRUSTED)
            __builtin_trap();
}

void CheckCache(const std::u16string& path) {
    std::u16string upper = path;
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    if (pxLib::PathKey(path) != pxLib::PathKey(upper)) __builtin_trap();
    pxLib::FileCache cache;
    bool system = false, conflict = false;
    if (cache.Add(path, TrustLevel::SignedByMaker, false, false, 0) !=
        (path.empty() ? ValidationError::VT_INVALID_ARG : ValidationError::VT_TRUSTED))
        __builtin_trap();
    if (!path.empty() && cache.Lookup(upper, TrustLevel::SignedByMaker, false, 0, system,
                                      conflict) != ValidationError::VT_TRUSTED)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= units.size() && parts.size() < kPartCount; ++i) {
        if (i == units.size() || units[i] == u'\0') {
            parts.push_back(units.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.resize(kPartCount);
    try {
        CheckPathRules(parts);
        CheckSigner(parts, pxLib::BuildIdentity());
        const pxLib::TrustIdentity fromInput{
            parts[kIdentity + 6],
            parts[kIdentity + 5],
            {parts[kIdentity], parts[kIdentity + 1], parts[kIdentity + 2], parts[kIdentity + 3],
             parts[kIdentity + 4]},
            parts[kIdentity + 7],
            parts[kIdentity + 8],
            parts[kIdentity + 9]};
        CheckSigner(parts, fromInput);
        CheckCache(parts[kPath]);
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
