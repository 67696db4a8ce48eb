#include "JobFile.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace qvdhost {

bool ReadJobFile(const std::wstring& path, std::wstring& text, std::wstring& error) {
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in) {
        error = L"cannot open the job file " + path;
        return false;
    }
    std::stringstream buffer;
    buffer << in.rdbuf();
    const std::string bytes = buffer.str();
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data() + 2), (bytes.size() - 2) / 2);
        return true;
    }
    size_t start = 0;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) start = 3;
    const int size = static_cast<int>(bytes.size() - start);
    if (size == 0) {
        text.clear();
        return true;
    }
    const int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, size, nullptr, 0);
    if (n <= 0) {
        error = L"the job file is neither UTF-8 nor UTF-16";
        return false;
    }
    text.assign(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data() + start, size, text.data(), n);
    return true;
}

}  // namespace qvdhost
