#include "ChildSteps.h"

#include <windows.h>
#include <shellapi.h>

#include "support/system/UniqueHandle.h"

namespace qvdtest {

std::vector<std::wstring> ProgramArguments() {
    int count = 0;
    pxLib::UniqueLocalMemory memory;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    memory.reset(arguments);
    if (arguments == nullptr) return {};
    return std::vector<std::wstring>(arguments, arguments + count);
}

bool AppendResultLine(const wchar_t* resultFile, const std::string& line) {
    pxLib::UniqueHandle file{CreateFileW(resultFile, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)};
    if (!file) return false;
    const std::string text = line + "\n";
    DWORD written = 0;
    return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool IsEventStep(std::wstring_view verb) {
    return verb == L"signal" || verb == L"wait";
}

int RunEventStep(std::wstring_view verb, const std::wstring& name) {
    pxLib::UniqueHandle event{OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name.c_str())};
    if (!event) return 2;
    if (verb == L"signal") return SetEvent(event.get()) ? 0 : 2;
    return WaitForSingleObject(event.get(), 60000) == WAIT_OBJECT_0 ? 0 : 3;
}

}  // namespace qvdtest
