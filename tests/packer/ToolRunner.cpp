#include "ToolRunner.h"

#include "PackerTestSupport.h"
#include "support/text/Utf.h"

#ifdef _WIN32
#include <windows.h>

#include "support/cmdline/QuotedArgument.h"
#include "support/system/UniqueHandle.h"
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace packertest {

#ifdef _WIN32
namespace {
std::wstring ToolPath() {
    std::wstring path = L"Z:" + pxLib::ToWide(pxLib::Utf8ToUtf16(QVD_TEST_QVDPACK));
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    return path;
}

}  // namespace

ToolRun RunQvdpack(const std::vector<std::u16string>& args) {
    ToolRun run;
    ScratchDir dir;
    const std::wstring outputPath = pxLib::ToWide(dir.file(u"output.txt"));
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    pxLib::UniqueHandle output(CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                           &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                           nullptr));
    if (!output) return run;
    std::wstring commandLine = pxLib::QuotedArgument(ToolPath());
    for (const std::u16string& arg : args)
        commandLine += L" " + pxLib::QuotedArgument(pxLib::ToWide(arg));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info))
        return run;
    pxLib::UniqueHandle process(info.hProcess), thread(info.hThread);
    output.reset();
    if (WaitForSingleObject(process.get(), 120000) != WAIT_OBJECT_0) {
        TerminateProcess(process.get(), 99);
        return run;
    }
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    run.exitCode = static_cast<int>(code);
    const Bytes bytes = ReadBytes(dir.file(u"output.txt"));
    run.output.assign(bytes.begin(), bytes.end());
    return run;
}
#else
ToolRun RunQvdpack(const std::vector<std::u16string>& args) {
    ToolRun run;
    std::vector<std::string> words = {QVD_TEST_QVDPACK};
    for (const std::u16string& arg : args) words.push_back(pxLib::Utf16ToUtf8(arg));
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        close(pipeFds[1]);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = read(pipeFds[0], buffer, sizeof(buffer))) > 0;)
        run.output.append(buffer, n);
    close(pipeFds[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}
#endif

}  // namespace packertest
