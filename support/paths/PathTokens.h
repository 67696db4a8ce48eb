// The text side of path expansion: the token loop over "%NAME%" tokens and the
// backslash cleaning of its result. Where a name's value comes from is the
// caller's business (the registry map, then the built-in folders).
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace pxLib {

// Finds the value of an upper-cased token name; false when it is unknown.
using PathNameResolver = std::function<bool(const std::u16string& name, std::u16string& value)>;

// No path the system can open is longer than this; a working text that grows
// past it (values that double at every round) fails instead of exhausting memory.
constexpr size_t kMaxExpandedPathChars = 32767;

// Replaces each token, from the first percent sign to the next, by the value
// of its name (the text between them, upper-cased) until no percent sign is
// left. Every occurrence of a token's exact spelling is replaced at once, and
// values may hold further tokens. A name may be expanded only once per call,
// which ends values that name themselves, cycles, and one name written in two
// letter cases. Fails on a lone or unclosed percent sign, an empty name, an
// unknown name or a repeated one.
// Inputs shorter than 3 characters are returned unchanged with success. Any
// other result is cleaned (CleanPathBackslashes); on failure it is the input so
// cleaned. May throw std::bad_alloc, or whatever the resolver throws.
[[nodiscard]] bool ExpandPathTokens(const std::u16string& input, const PathNameResolver& resolve,
                                    std::u16string& output);

// A path that names one file whatever the current folder and drive: "X:\..."
// or "\\server\..." (the "\\?\" forms included), with no percent sign left.
[[nodiscard]] bool IsCompleteAbsolutePath(std::u16string_view path);

// Collapses every run of backslashes to one, except that a path starting with
// two or more keeps exactly two there (the prefix of a UNC path).
void CleanPathBackslashes(std::u16string& path);

}  // namespace pxLib
