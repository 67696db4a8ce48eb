// The debug options (registry values under "DebugOutput") and the shape of the
// debug-output logger they produce. Portable: the registry reading lives in
// the platform part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pxLib {

// One named DWORD value of a key ("Modules", "CrashHandler").
using NamedDwords = std::vector<std::pair<std::u16string, uint32_t>>;

// Defaults are those in force when a value is missing or of another type.
struct pxTavDebugOptions {
    uint32_t m_dwDebugType = 0;  // lowest type written: 0 none, 1 all, 2 warnings up, 3 errors
    std::u16string m_strDirectory;
    bool m_bOutputToDebugger = true;
    bool m_bOutputToFile = false;
    bool m_bAppendProcessIdToFile = true;
    bool m_bPrependThreadId = true;
    bool m_bPrependProcessId = true;
    bool m_bPrependDateTime = true;
    bool m_bPrependModuleName = true;
    bool m_bAppendNewLine = true;
    bool m_bPrependType = true;
    bool m_bExclusiveModules = false;
    NamedDwords m_modules;  // "Modules": per-module switches
    // "CrashHandler" is read in the same pass; its values belong to the crash
    // handler and nothing in this module acts on them.
    NamedDwords m_crashHandler;
};

constexpr char16_t kDefaultLoggerName[] = u"QVDPlugin";

// The logger's fields that the options shape. Everything is off until the
// options are applied.
struct DebugLogSettings {
    uint32_t m_level = 0;  // 0: off
    std::u16string m_name = kDefaultLoggerName;
    std::u16string m_directory;
    bool m_outputToDebugger = false;
    bool m_outputToFile = false;
    bool m_appendProcessIdToFile = false;
    bool m_prependThreadId = false;
    bool m_prependProcessId = false;
    bool m_prependDateTime = false;
    bool m_prependModuleName = false;
    bool m_appendNewLine = false;
    bool m_prependType = false;
};

// Level, outputs and prefixes from the options, a non-empty "Directory", then
// the module filter.
void ApplyDebugOptions(const pxTavDebugOptions& options, DebugLogSettings& settings);

// An empty name becomes the executable's file name without extension, an
// empty directory the executable's drive and folder.
void FillMissingNames(std::u16string_view executablePath, DebugLogSettings& settings);

}  // namespace pxLib
