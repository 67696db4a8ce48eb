// One process of a debug-log scenario (the options are loaded once per
// process). Selects the product registry view of the silo, then runs its steps:
//   E:text W:text I:text  log text as an error, warning or information line
//                         ("\n" and "\r" in text stand for LF and CR)
//   signal:name           set the named event
//   wait:name             wait up to a minute for the named event
// Exit code 0 when every step ran; 2 for bad usage, 3 when a wait timed out.
#include "ChildSteps.h"
#include "support/isolation/IsolationSettings.h"
#include "support/logging/Log.h"
#include "support/text/Utf.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::u16string Unescape(std::wstring_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\\' && i + 1 < text.size() &&
            (text[i + 1] == L'n' || text[i + 1] == L'r')) {
            out.push_back(text[++i] == L'n' ? u'\n' : u'\r');
        } else {
            out.push_back(static_cast<char16_t>(text[i]));
        }
    }
    return out;
}

int RunStep(std::wstring_view step) {
    const size_t colon = step.find(L':');
    if (colon == std::wstring_view::npos) return 2;
    const std::wstring_view verb = step.substr(0, colon);
    const std::wstring_view rest = step.substr(colon + 1);
    if (verb == L"E") {
        pxLib::LogError(u"%s", Unescape(rest));
    } else if (verb == L"W") {
        pxLib::LogWarning(u"%s", Unescape(rest));
    } else if (verb == L"I") {
        pxLib::LogInformation(u"%s", Unescape(rest));
    } else if (qvdtest::IsEventStep(verb)) {
        return qvdtest::RunEventStep(verb, std::wstring(rest));
    } else {
        return 2;
    }
    return 0;
}

}  // namespace

int main() {
    const std::vector<std::wstring> args = qvdtest::ProgramArguments();
    if (args.size() < 2) return 2;
    pxLib::SelectProductRegistryView(pxLib::ToU16(args[1]));
    for (size_t i = 2; i < args.size(); ++i) {
        if (const int result = RunStep(args[i])) return result;
    }
    return 0;
}
