// Adding a package of archives to an executable, where the package reader
// looks for it, and describing the package an executable carries.
#pragma once

#include "packer/PackageWriter.h"

#include <string>
#include <vector>

namespace qvdpack {

// Writes output: input with the package added. An unsigned input gets four
// zero bytes and the package behind its last section. A signed input gets the
// package directly behind its first certificate entry, inside the certificate
// table, whose directory size grows to cover it (padded to 8 bytes), so the
// signature stays valid. A package the input already carries is replaced.
// Refused: files whose certificate table does not start at the end of the
// last section, files with other data behind the image or the table, and
// tables with more than one certificate entry. output may equal input.
[[nodiscard]] bool AddPackage(const std::u16string& input, const std::u16string& output,
                              const std::vector<ZOLT::PackageArchive>& archives,
                              std::string& error);

// The headers, the certificate table and the package records of path as text.
[[nodiscard]] bool DescribePackage(const std::u16string& path, std::string& text,
                                   std::string& error);

}  // namespace qvdpack
