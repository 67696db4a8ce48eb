// One process of a path expansion scenario (the map key is opened once per
// process). Usage: child <result file> <settings> <steps...>
//   settings  "select:<silo>"  the run sequence's product view selection
//             "none"           no isolation settings (no product root)
//   steps     expand:<text>    appends "<1|0>|<output>" to the result file; an
//                              output the expansion left alone reads "<untouched>"
//             signal:<name>    sets the named event
//             wait:<name>      waits up to a minute for the named event
// Exit code 0 when every step ran; 2 for bad usage, 3 when a wait timed out.
#include <windows.h>

#include <string>
#include <vector>

#include "ChildSteps.h"
#include "support/isolation/IsolationSettings.h"
#include "support/paths/PathExpansion.h"
#include "support/text/Utf.h"

namespace {

const wchar_t kUntouched[] = L"<untouched>";

int RunStep(const wchar_t* resultFile, std::wstring_view step) {
    const size_t colon = step.find(L':');
    if (colon == std::wstring_view::npos) return 2;
    const std::wstring_view verb = step.substr(0, colon);
    const std::wstring rest(step.substr(colon + 1));
    if (verb == L"expand") {
        std::wstring output = kUntouched;
        const bool ok = pxLib::ExpandPath(rest.c_str(), output);
        const std::wstring line = (ok ? L"1|" : L"0|") + output;
        return qvdtest::AppendResultLine(resultFile, pxLib::Utf16ToUtf8(pxLib::ToU16(line))) ? 0
                                                                                             : 2;
    }
    if (qvdtest::IsEventStep(verb)) return qvdtest::RunEventStep(verb, rest);
    return 2;
}

}  // namespace

int main() {
    const std::vector<std::wstring> args = qvdtest::ProgramArguments();
    if (args.size() < 3) return 2;
    const std::wstring& settings = args[2];
    if (settings.rfind(L"select:", 0) == 0) {
        pxLib::SelectProductRegistryView(pxLib::ToU16(settings.substr(7)));
    } else if (settings != L"none") {
        return 2;
    }
    for (size_t i = 3; i < args.size(); ++i) {
        if (const int result = RunStep(args[1].c_str(), args[i])) return result;
    }
    return 0;
}
