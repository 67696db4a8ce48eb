// The site code that ties an installation to the distribution partner it came
// through: the first 8 characters of "7%08x" over the CRC-32 of the text
// "ZOLT: <PartnerUnitID> <PartnerID> :ZOLT" in UTF-16LE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "job/JobDescription.h"

namespace qvd::job {

// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value all
// ones, final complement).
uint32_t Crc32(const uint8_t* data, size_t size);

// The code for the two ids given as decimal text: the unit id comes first in
// the hashed text. Lower-case hexadecimal digits.
std::u16string SiteCode(const std::u16string& partnerUnitId, const std::u16string& partnerId);

// The job's code from distribution.PartnerUnitID and distribution.PartnerID;
// false when either is missing. Raises as the job reader does.
[[nodiscard]] bool JobSiteCode(const JobReader& reader, std::u16string& code);

}  // namespace qvd::job
