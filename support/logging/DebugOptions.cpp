#include "support/logging/DebugOptions.h"

#include "support/text/Utf.h"

#include <algorithm>

namespace pxLib {

void ApplyDebugOptions(const pxTavDebugOptions& options, DebugLogSettings& settings) {
    settings.m_level = options.m_dwDebugType;
    settings.m_outputToDebugger = options.m_bOutputToDebugger;
    settings.m_outputToFile = options.m_bOutputToFile;
    settings.m_appendProcessIdToFile = options.m_bAppendProcessIdToFile;
    settings.m_prependThreadId = options.m_bPrependThreadId;
    settings.m_prependProcessId = options.m_bPrependProcessId;
    settings.m_prependDateTime = options.m_bPrependDateTime;
    settings.m_prependModuleName = options.m_bPrependModuleName;
    settings.m_appendNewLine = options.m_bAppendNewLine;
    settings.m_prependType = options.m_bPrependType;
    if (!options.m_strDirectory.empty()) settings.m_directory = options.m_strDirectory;

    if (options.m_bExclusiveModules && !options.m_modules.empty()) settings.m_level = 0;
    for (const auto& [name, enabled] : options.m_modules) {
        if (EqualsIgnoreAsciiCase(name, settings.m_name)) {
            settings.m_level = enabled != 0 ? options.m_dwDebugType : 0;
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

    if (settings.m_name.empty()) settings.m_name = file;
    if (settings.m_directory.empty()) settings.m_directory = executablePath.substr(0, folderEnd);
}

}  // namespace pxLib
