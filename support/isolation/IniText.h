// Reading values out of the text of an INI file, such as "isolate.ini". The
// file comes from outside: every result is a piece of the given text, nothing
// is sized from what the file claims.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pxLib {

// UTF-16LE when the bytes start with FF FE (a trailing odd byte is dropped);
// otherwise 8-bit text, taken as UTF-8 (an EF BB BF mark is skipped, bad
// sequences become U+FFFD).
std::u16string DecodeIniText(std::string_view bytes);

// The value of key in section, in the manner of the profile functions: names
// match without regard to ASCII case, blanks around names and values are
// dropped, one pair of matching quotes around a value is removed, lines
// starting with ';' are comments, and the first occurrence wins. No value when
// the key is absent.
std::optional<std::u16string> FindIniValue(std::u16string_view text, std::u16string_view section,
                                           std::u16string_view key);

}  // namespace pxLib
