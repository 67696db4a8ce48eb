// A path taken apart as the process match needs it.
#pragma once

#include <string>

namespace pxLib {

struct PathParts {
    std::wstring fileName;   // with its extension
    std::wstring directory;  // the long form of drive plus directory, ending in one backslash
};

PathParts SplitPath(const std::wstring& path);

// GetLongPathNameW (asked first for the length it needs); empty when the
// conversion fails, for example because the path does not exist.
std::wstring ConvertToLongPath(const std::wstring& path);
// The same, but the path as given when it has no long form.
std::wstring LongPathForm(const std::wstring& path);

// A directory in the form the process match compares: backslashes only, its
// long form, and all trailing backslashes replaced by exactly one.
std::wstring NormalisedDirectory(const std::wstring& directory);

}  // namespace pxLib
