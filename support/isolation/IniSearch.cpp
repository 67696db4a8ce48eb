#include "support/isolation/IniSearch.h"

#include "support/text/Utf.h"

namespace pxLib {
namespace {

constexpr std::u16string_view kSeparators = u"\\/";

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

struct Root {
    size_t length = 0;        // the part a walk upward never leaves
    bool serverOnly = false;  // "\\server" with no share: nothing to search
};

// "C:" of "C:\dir", "\\server\share" of "\\server\share\dir", also behind
// the "\\?\" and "\\?\UNC\" prefixes.
Root FindRoot(std::u16string_view path) {
    size_t start = 0;
    bool unc = false;
    if (path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
        (path[2] == u'?' || path[2] == u'.') && IsSeparator(path[3])) {
        start = 4;
        if (path.size() >= 8 && EqualsIgnoreAsciiCase(path.substr(4, 3), u"UNC") &&
            IsSeparator(path[7])) {
            start = 8;
            unc = true;
        }
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        start = 2;
        unc = true;
    }
    if (unc) {
        const size_t serverEnd = path.find_first_of(kSeparators, start);
        if (serverEnd == std::u16string_view::npos) return {path.size(), true};
        const size_t shareEnd = path.find_first_of(kSeparators, serverEnd + 1);
        return {shareEnd == std::u16string_view::npos ? path.size() : shareEnd, false};
    }
    if (path.size() >= start + 2 && path[start + 1] == u':') return {start + 2, false};
    return {start, false};
}

void DropTrailingSeparators(std::u16string& folder, size_t rootLength) {
    while (folder.size() > rootLength && IsSeparator(folder.back())) folder.pop_back();
}

}  // namespace

FileSearchResult FindFileUpward(std::u16string_view start, std::u16string_view fileName,
                                const std::function<bool(const std::u16string&)>& fileExists) {
    std::u16string folder(start);
    const Root root = FindRoot(folder);
    if (root.serverOnly) return {};
    DropTrailingSeparators(folder, root.length);
    // Each turn shortens the folder, so the walk ends.
    while (!folder.empty()) {
        std::u16string candidate = folder;
        if (!IsSeparator(candidate.back())) candidate += u'\\';
        candidate += fileName;
        if (candidate.size() > kMaxSearchPathChars) return {{}, kSearchPathTooLong};
        if (fileExists(candidate)) return {std::move(candidate), kSearchFound};
        if (folder.size() <= root.length) break;
        const size_t cut = folder.find_last_of(kSeparators);
        folder.resize(cut == std::u16string::npos || cut < root.length ? root.length : cut);
        DropTrailingSeparators(folder, root.length);
    }
    return {};
}

}  // namespace pxLib
