#include "support/logging/DebugOptions.h"

#include "support/text/Utf.h"

#include <algorithm>

namespace pxLib {

void ApplyDebugOptions(const pxTavDebugOptions& options, DebugLogSettings& settings) {
    settings.m_dwLevel = options.m_dwDebugType;
    settings.m_bOutputToDebugger = options.m_bOutputToDebugger;
    settings.m_bOutputToFile = options.m_bOutputToFile;
    settings.m_bAppendProcessIdToFile = options.m_bAppendProcessIdToFile;
    settings.m_bPrependThreadId = options.m_bPrependThreadId;
    settings.m_bPrependProcessId = options.m_bPrependProcessId;
    settings.m_bPrependDateTime = options.m_bPrependDateTime;
    settings.m_bPrependModuleName = options.m_bPrependModuleName;
    settings.m_bAppendNewLine = options.m_bAppendNewLine;
    settings.m_bPrependType = options.m_bPrependType;
    if (!options.m_strDirectory.empty()) settings.m_strDirectory = options.m_strDirectory;

    if (options.m_bExclusiveModules && !options.m_modules.empty()) settings.m_dwLevel = 0;
    for (const auto& [name, enabled] : options.m_modules) {
        if (EqualsIgnoreAsciiCase(name, settings.m_strName)) {
            settings.m_dwLevel = enabled != 0 ? options.m_dwDebugType : 0;
            break;
        }
    }
}

void FillMissingNames(std::u16string_view executablePath, DebugLogSettings& settings) {
    const size_t slash = executablePath.find_last_of(u"\\/");
    const size_t fileStart = slash == std::u16string_view::npos ? 0 : slash + 1;
    // A bare "C:name.exe" keeps its drive as the folder.
    const size_t colon = executablePath.find(u':');
    const size_t folderEnd = fileStart != 0                       ? fileStart
                             : colon != std::u16string_view::npos ? colon + 1
                                                                  : 0;
    std::u16string_view file = executablePath.substr(std::max(fileStart, folderEnd));
    const size_t dot = file.find_last_of(u'.');
    if (dot != std::u16string_view::npos) file = file.substr(0, dot);

    if (settings.m_strName.empty()) settings.m_strName = file;
    if (settings.m_strDirectory.empty())
        settings.m_strDirectory = executablePath.substr(0, folderEnd);
}

}  // namespace pxLib
