// UTF-8 for what the host prints and the JSON it reads.
#pragma once

#include <string>

namespace qvdhost {

std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace qvdhost
