#include "job/SiteCode.h"

#include <array>
#include <vector>

namespace qvd::job {
namespace {

constexpr uint32_t kReflectedPolynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> MakeCrcTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kReflectedPolynomial : c >> 1;
        table[i] = c;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

// Little-endian whatever the machine, as the code is defined.
std::vector<uint8_t> Utf16LeBytes(const std::u16string& text) {
    std::vector<uint8_t> bytes;
    bytes.reserve(text.size() * 2);
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = kCrcTable[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::u16string SiteCode(const std::u16string& partnerUnitId, const std::u16string& partnerId) {
    const std::u16string text = u"ZOLT: " + partnerUnitId + u" " + partnerId + u" :ZOLT";
    const std::vector<uint8_t> bytes = Utf16LeBytes(text);
    const uint32_t crc = Crc32(bytes.data(), bytes.size());
    // "7%08x" cut to 8 characters: "7" and the top seven digits.
    static const char16_t kDigits[] = u"0123456789abcdef";
    std::u16string code = u"7";
    for (int shift = 28; shift >= 4; shift -= 4) code.push_back(kDigits[(crc >> shift) & 0xF]);
    return code;
}

bool JobSiteCode(const JobReader& reader, std::u16string& code) {
    std::u16string partnerId;
    std::u16string partnerUnitId;
    if (!reader.PartnerIds(partnerId, partnerUnitId)) return false;
    code = SiteCode(partnerUnitId, partnerId);
    return true;
}

}  // namespace qvd::job
