#include "support/paths/PathTokens.h"

#include <set>

#include "support/logging/Trace.h"

namespace pxLib {
namespace {

const TraceSource kTraceSource{
    {0x4bc771fc, 0x4f7e, 0x46f5, {0x94, 0x28, 0xc5, 0x0f, 0x64, 0x1f, 0x9d, 0xb5}}};
enum class TraceEvent : uint16_t {
    PercentAtEnd = 1,
    UnclosedToken = 2,
    EmptyTokenName = 3,
    TokenNotResolved = 4,
    TokenRepeated = 5,
    ExpansionTooLong = 6,
};

// Names compare as the system's upper-casing of plain text does: ASCII only.
std::u16string UpperCaseName(std::u16string_view text) {
    std::u16string name;
    name.reserve(text.size());
    for (const char16_t c : text) {
        name.push_back((c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - u'a' + u'A') : c);
    }
    return name;
}

// Replaces every occurrence of token in text by value, left to right, without
// looking into the values just inserted (they are expanded in later rounds).
std::u16string ReplaceAll(const std::u16string& text, const std::u16string& token,
                          const std::u16string& value) {
    std::u16string result;
    size_t from = 0;
    for (size_t at = text.find(token); at != std::u16string::npos; at = text.find(token, from)) {
        result.append(text, from, at - from);
        result.append(value);
        from = at + token.size();
    }
    result.append(text, from, std::u16string::npos);
    return result;
}

bool ExpandTokensOf(const std::u16string& input, const PathNameResolver& resolve,
                    std::u16string& expanded) {
    std::u16string working = input;
    std::set<std::u16string> expandedNames;
    for (;;) {
        const size_t open = working.find(u'%');
        if (open == std::u16string::npos) {
            expanded = std::move(working);
            return true;
        }
        if (open + 1 == working.size()) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::PercentAtEnd, input);
            return false;
        }
        const size_t close = working.find(u'%', open + 1);
        if (close == std::u16string::npos) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::UnclosedToken, input);
            return false;
        }
        const std::u16string token = working.substr(open, close - open + 1);
        const std::u16string name = UpperCaseName(token.substr(1, token.size() - 2));
        if (name.empty()) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::EmptyTokenName, input);
            return false;
        }
        std::u16string value;
        if (!resolve(name, value)) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::TokenNotResolved, name, input);
            return false;
        }
        if (!expandedNames.insert(name).second) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::TokenRepeated, name, input);
            return false;
        }
        working = ReplaceAll(working, token, value);
        if (working.size() > kMaxExpandedPathChars) {
            Trace(kTraceSource, TraceLevel::Error, TraceEvent::ExpansionTooLong, name,
                  static_cast<uint32_t>(working.size()));
            return false;
        }
    }
}

}  // namespace

bool ExpandPathTokens(const std::u16string& input, const PathNameResolver& resolve,
                      std::u16string& output) {
    if (input.size() < 3) {
        output = input;
        return true;
    }
    std::u16string expanded;
    const bool ok = ExpandTokensOf(input, resolve, expanded);
    if (!ok) expanded = input;
    CleanPathBackslashes(expanded);
    output = std::move(expanded);
    return ok;
}

void CleanPathBackslashes(std::u16string& path) {
    const bool unc = path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
    std::u16string cleaned;
    cleaned.reserve(path.size());
    if (unc) cleaned.push_back(u'\\');
    for (const char16_t c : path) {
        if (c == u'\\' && !cleaned.empty() && cleaned.back() == u'\\' &&
            !(unc && cleaned.size() == 1)) {
            continue;
        }
        cleaned.push_back(c);
    }
    path = std::move(cleaned);
}

bool IsCompleteAbsolutePath(std::u16string_view path) {
    if (path.find(u'%') != std::u16string_view::npos) return false;
    if (path.size() >= 3 && path[0] == u'\\' && path[1] == u'\\') return path[2] != u'\\';
    const bool letter = path.size() >= 3 && ((path[0] >= u'A' && path[0] <= u'Z') ||
                                             (path[0] >= u'a' && path[0] <= u'z'));
    return letter && path[1] == u':' && path[2] == u'\\';
}

}  // namespace pxLib
