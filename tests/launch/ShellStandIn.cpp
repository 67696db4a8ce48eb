// A program of the tests that the Winlogon "Shell" value can name, and that a
// user-session launch can start. Usage: QvdShellStandIn <result file> <settings> <steps...>
//   env:<name>                  appends "<name>=<value>" ("<name> unset" when it is not set)
//   signal:<name>, wait:<name>  set, or wait up to a minute for, a named event
// Exit code 0 when every step ran; 2 for bad usage, 3 when a wait timed out.
#include <windows.h>

#include <string>
#include <vector>

#include "ChildSteps.h"
#include "support/text/Utf.h"

namespace {

std::string Utf8(const std::wstring& text) {
    return pxLib::Utf16ToUtf8(pxLib::ToU16(text));
}

int AppendVariable(const wchar_t* resultFile, const std::wstring& name) {
    const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
    std::string line = Utf8(name) + " unset";
    if (size != 0) {
        std::wstring value(size, L'\0');
        const DWORD written = GetEnvironmentVariableW(name.c_str(), value.data(), size);
        value.resize(written < size ? written : 0);
        line = Utf8(name) + "=" + Utf8(value);
    }
    return qvdtest::AppendResultLine(resultFile, line) ? 0 : 2;
}

}  // namespace

int main() {
    const std::vector<std::wstring> arguments = qvdtest::ProgramArguments();
    if (arguments.size() < 3) return 2;
    const wchar_t* resultFile = arguments[1].c_str();
    for (size_t i = 3; i < arguments.size(); ++i) {
        const std::wstring& step = arguments[i];
        const size_t colon = step.find(L':');
        if (colon == std::wstring::npos) return 2;
        const std::wstring verb = step.substr(0, colon);
        const std::wstring rest = step.substr(colon + 1);
        int result = 2;
        if (verb == L"env") {
            result = AppendVariable(resultFile, rest);
        } else if (qvdtest::IsEventStep(verb)) {
            result = qvdtest::RunEventStep(verb, rest);
        }
        if (result != 0) return result;
    }
    return 0;
}
