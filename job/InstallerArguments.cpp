#include "job/InstallerArguments.h"

#include "launch/InstallerOptions.h"
#include "support/logging/Log.h"
#include "support/text/Utf.h"

namespace qvd::job {
namespace {

constexpr std::u16string_view kHostPathToken = u"%QVDPATH%";

void ReplaceAll(std::u16string& text, std::u16string_view what, std::u16string_view with) {
    for (size_t at = text.find(what); at != std::u16string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
}

// A value put between double quotes must not end them early: a quote inside
// it, or a backslash before the closing quote (which installers' argument
// parsers read as an escaped quote), would let job data add switches of its own.
bool SafeInQuotes(std::u16string_view value) {
    return value.find(u'"') == std::u16string_view::npos &&
           (value.empty() || value.back() != u'\\');
}

// An unquoted value must stay one word.
bool SafeAsOneWord(std::u16string_view value) {
    return value.find_first_of(u" \t\r\n\"") == std::u16string_view::npos;
}

}  // namespace

InstallerArguments BuildInstallerArguments(const JobReader& job, const HostProcess& host) {
    InstallerArguments args;
    if (!job.HasProductData()) return args;

    // 1. The job's own arguments.
    bool automation = false;
    if (job.CommandLine(args.text)) {
        automation = args.text.find(u"WIN10_AUTOMATION_TEST") != std::u16string::npos;
        std::u16string hostPath;
        if (args.text.find(kHostPathToken) != std::u16string::npos && host.readImagePath &&
            host.readImagePath(hostPath)) {
            ReplaceAll(args.text, kHostPathToken, hostPath);
        }
    }

    // 3. The upgrade pass-through.
    std::vector<std::u16string> upgrade;
    if (host.parsed && host.commandLine.HasSwitch(u"WIN10_UPGRADE") &&
        host.commandLine.GetSwitchValues(u"WIN10_UPGRADE", upgrade) && !upgrade.empty()) {
        if (SafeInQuotes(upgrade.front())) {
            args.text += u" /";
            args.text += u"WIN10_UPGRADE";
            args.text += u" \"";
            args.text += upgrade.front();
            args.text += u"\"";
            args.strip = !automation;
        } else {
            pxLib::LogError(
                u"qvd::plugin::QVDPluginImpl::run(822) : WIN10_UPGRADE value %s "
                u"would break its quotes; left out",
                upgrade.front());
        }
    }

    // 4. Silent run: each test on one lower-case copy made before any append.
    if (host.parsed && host.commandLine.HasSwitch(u"noui")) {
        args.strip = false;
        const std::u16string lower = pxLib::AsciiLower(args.text);
        auto absent = [&lower](std::u16string_view word) {
            return lower.find(word) == std::u16string::npos;
        };
        const bool qn = absent(u"qn"), notray = absent(u"notray"),
                   showerrors = absent(u"showerrors"), noreboot = absent(u"noreboot");
        if (qn) args.text += u" /qn";
        if (notray) args.text += u" /notray";
        if (showerrors) args.text += u" /showerrors 2";
        if (noreboot) args.text += u" /noreboot";
    }

    // 5. The token: ebe_token wins over token.
    std::u16string token;
    if (job.Token(token)) {
        if (SafeInQuotes(token)) {
            args.text += u" /token ";
            args.text += u"\"";
            args.text += token;
            args.text += u"\"";
        } else {
            pxLib::LogError(
                u"qvd::plugin::QVDPluginImpl::run(853) : token would break its quotes; left out");
        }
    }

    // 6. The machine name, unquoted.
    std::u16string machine;
    if (job.MachineName(machine)) {
        if (SafeAsOneWord(machine)) {
            args.text += u" /machinename ";
            args.text += machine;
        } else {
            pxLib::LogError(
                u"qvd::plugin::QVDPluginImpl::run(862) : machine name %s is not one "
                u"word; left out",
                machine);
        }
    }
    return args;
}

std::u16string FullCommandLine(std::u16string_view installerPath, std::u16string_view arguments) {
    std::u16string line = u"\"";
    line += installerPath;
    line += u"\" ";
    line += arguments;
    return line;
}

void StripWhenAsked(InstallerArguments& arguments) {
    if (!arguments.strip) return;
    std::u16string stripped;
    if (launch::StripInstallerOptions(arguments.text, stripped)) arguments.text = stripped;
}

}  // namespace qvd::job
