// One argument quoted for a command line so that the C runtime's splitting
// gives it back as it was (backslashes before a quote doubled).
#pragma once

#include <string>

namespace pxLib {

inline std::wstring QuotedArgument(const std::wstring& arg) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

}  // namespace pxLib
