// The token loop over hostile input: the bytes are a path (UTF-16LE) and a
// little map of names to values, split at NUL units. Values may name each
// other, so cycles and doubling values come from the input too.
#include "support/paths/PathTokens.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
    // Parts: the path, then name and value pairs.
    std::vector<std::u16string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= units.size(); ++i) {
        if (i == units.size() || units[i] == u'\0') {
            parts.push_back(units.substr(start, i - start));
            start = i + 1;
        }
    }
    std::map<std::u16string, std::u16string> map;
    for (size_t i = 1; i + 1 < parts.size(); i += 2) {
        std::u16string name = parts[i];
        for (auto& c : name)
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
        map[name] = parts[i + 1];
    }
    const pxLib::PathNameResolver resolve = [&map](const std::u16string& name,
                                                   std::u16string& value) {
        const auto found = map.find(name);
        if (found == map.end()) return false;
        value = found->second;
        return true;
    };
    std::u16string output;
    try {
        const bool expanded = pxLib::ExpandPathTokens(parts[0], resolve, output);
        if (output.size() > pxLib::kMaxExpandedPathChars + parts[0].size()) __builtin_trap();
        // A successful expansion leaves no token behind, and never a doubled
        // backslash past a UNC prefix.
        if (expanded && parts[0].size() >= 3) {
            if (output.find(u'%') != std::u16string::npos) __builtin_trap();
            if (output.find(u"\\\\", 1) != std::u16string::npos) __builtin_trap();
        }
    } catch (const std::bad_alloc&) {
    }
    return 0;
}
