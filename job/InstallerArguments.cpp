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
// it would let job or host data add switches of its own, so such a value is
// left out.
bool SafeInQuotes(std::u16string_view value) {
    return value.find(u'"') == std::u16string_view::npos;
}

// The value between double quotes. Installers' argument parsers read a
// backslash before a quote as an escaped quote, so trailing backslashes (a
// folder such as C:\media\) are doubled: the installer reads the value back
// as it was given.
std::u16string Quoted(std::u16string_view value) {
    size_t trailing = 0;
    while (trailing < value.size() && value[value.size() - 1 - trailing] == u'\\') ++trailing;
    std::u16string quoted = u"\"";
    quoted += value;
    quoted.append(trailing, u'\\');
    quoted += u"\"";
    return quoted;
}

// An unquoted value must stay one word.
bool SafeAsOneWord(std::u16string_view value) {
    return value.find_first_of(u" \t\r\n\"") == std::u16string_view::npos;
}

}  // namespace

InstallerArguments BuildInstallerArguments(const JobReader& job, const HostProcess& host) {
    InstallerArguments args;
    if (!job.HasProductData()) return args;

    // The job's own arguments, with the host's path for "%QVDPATH%".
    bool automation = false;
    if (job.CommandLine(args.text)) {
        automation = args.text.find(u"WIN10_AUTOMATION_TEST") != std::u16string::npos;
        std::u16string hostPath;
        if (args.text.find(kHostPathToken) != std::u16string::npos && host.readImagePath &&
            host.readImagePath(hostPath)) {
            ReplaceAll(args.text, kHostPathToken, hostPath);
        }
    }

    // The upgrade pass-through.
    std::vector<std::u16string> upgrade;
    if (host.parsed && host.commandLine.HasSwitch(u"WIN10_UPGRADE") &&
        host.commandLine.GetSwitchValues(u"WIN10_UPGRADE", upgrade) && !upgrade.empty()) {
        if (SafeInQuotes(upgrade.front())) {
            args.text += u" /";
            args.text += u"WIN10_UPGRADE";
            args.text += u" ";
            args.text += Quoted(upgrade.front());
            args.strip = !automation;
        } else {
            pxLib::LogError(
                u"qvd::plugin::QVDPluginImpl::run(822) : WIN10_UPGRADE value %s "
                u"would break its quotes; left out",
                upgrade.front());
        }
    }

    // Silent run: each test on one lower-case copy made before any append.
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

    // The token: ebe_token wins over token.
    std::u16string token;
    if (job.Token(token)) {
        if (SafeInQuotes(token)) {
            args.text += u" /token ";
            args.text += Quoted(token);
        } else {
            pxLib::LogError(
                u"qvd::plugin::QVDPluginImpl::run(853) : token would break its quotes; left out");
        }
    }

    // The machine name, unquoted.
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
