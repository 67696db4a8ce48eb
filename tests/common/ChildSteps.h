// The child side of a ChildRun scenario: what every child program of the
// tests does the same way.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qvdtest {

// This process's arguments, the program's own name first.
std::vector<std::wstring> ProgramArguments();

// Appends line and a line end (UTF-8) to the result file.
bool AppendResultLine(const wchar_t* resultFile, const std::string& line);

// "signal:<name>" and "wait:<name>" steps: sets the named event, or waits up
// to a minute for it.
bool IsEventStep(std::wstring_view verb);
// 0 when done, 2 when the event cannot be opened, 3 when the wait timed out.
int RunEventStep(std::wstring_view verb, const std::wstring& name);

}  // namespace qvdtest
