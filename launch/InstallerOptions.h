// Removing the installer's own quiet and tray switches from its arguments.
#pragma once

#include <string>

namespace qvd::launch {

// The words of input without the switches qn, qb, qr, q, notray, noreboot and
// showerrors (with the word after it); every other word keeps its text and
// order. False, output untouched, when input cannot be split.
[[nodiscard]] bool StripInstallerOptions(const std::u16string& input, std::u16string& output);

}  // namespace qvd::launch
