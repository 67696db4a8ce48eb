// qvdpack: makes and reads the install data of a product: "install.dat" files
// from a text description, and packages of archives in executables.
#include "CollectionText.h"
#include "ExecutablePackage.h"
#include "InstallerCheck.h"
#include "ToolFiles.h"
#include "job/SiteCode.h"
#include "packer/FileDataExtender.h"
#include "support/text/Utf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Archives read from files may not exceed this.
constexpr uint64_t kMaxArchiveFileBytes = 1024u * 1024 * 1024;

const char kUsage[] =
    "usage:\n"
    "  qvdpack make-data <description.txt> <install.dat>\n"
    "      writes a collection file from a text description\n"
    "  qvdpack dump-data <install.dat>\n"
    "      prints a collection file as a text description\n"
    "  qvdpack add-package <in.exe> <out.exe> [--layout <description.txt>]\n"
    "          [--layout-data <install.dat>] [--archive <id> <{type-guid}> <file>]...\n"
    "      adds a package of archives where the package reader looks for it\n"
    "      (behind the first certificate entry of a signed file, else behind four\n"
    "      zero bytes); --layout and --layout-data add \"FDELayoutData\"\n"
    "  qvdpack list <file.exe>\n"
    "      prints the package records (ids, types, sizes, offsets)\n"
    "  qvdpack dump-layout <file.exe>\n"
    "      prints the layout data of the package as a text description\n"
    "  qvdpack site-code <PartnerUnitID> <PartnerID>\n"
    "      prints the site code that entry 1002 of install.dat must hold for a\n"
    "      distribution with these partner numbers\n"
#ifdef _WIN32
    "  qvdpack check <installer.exe>\n"
    "      runs the checks the plug-in runs before it starts an installer and says\n"
    "      whether this build would start it (exit 0) or refuse it (exit 1, with the\n"
    "      reason last)\n"
#endif
    ;

int Usage() {
    std::fputs(kUsage, stderr);
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "qvdpack: %s\n", message.c_str());
    return 1;
}

void Print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

bool ParseGuidArgument(const std::u16string& text, pxLib::Guid& guid) {
    // The text form parser knows GUIDs; a one-entry description reuses it.
    pxLib::pxTavKeyValueCollection one;
    qvdpack::TextError error;
    const std::string line = "0 guid " + pxLib::Utf16ToUtf8(text) + "\n";
    return qvdpack::ParseCollectionText(line, one, error) && one.GetGuid(0, guid);
}

int MakeData(const std::vector<std::u16string>& args) {
    if (args.size() != 2) return Usage();
    pxLib::pxTavKeyValueCollection collection;
    std::string error;
    if (!qvdpack::ParseCollectionFile(args[0], collection, error) ||
        !qvdpack::SaveCollectionFile(args[1], collection, error))
        return Fail(error);
    return 0;
}

int Dump(pxLib::pxTavKeyValueCollection& collection) {
    std::string text, error;
    if (!qvdpack::DumpCollectionText(collection, text, error)) return Fail(error);
    Print(text);
    return 0;
}

int DumpData(const std::vector<std::u16string>& args) {
    if (args.size() != 1) return Usage();
    pxLib::pxTavKeyValueCollection collection;
    std::string error;
    if (!qvdpack::LoadCollectionFile(args[0], collection, error)) return Fail(error);
    return Dump(collection);
}

int DumpLayout(const std::vector<std::u16string>& args) {
    if (args.size() != 1) return Usage();
    pxLib::pxTavKeyValueCollection collection;
    std::string error;
    if (!qvdpack::LoadLayoutData(args[0], collection, error)) return Fail(error);
    return Dump(collection);
}

int List(const std::vector<std::u16string>& args) {
    if (args.size() != 1) return Usage();
    std::string text, error;
    const bool ok = qvdpack::DescribePackage(args[0], text, error);
    Print(text);
    return ok ? 0 : Fail(error);
}

int AddPackageCommand(const std::vector<std::u16string>& args) {
    if (args.size() < 4) return Usage();
    std::vector<ZOLT::PackageArchive> archives;
    std::string error;
    for (size_t i = 2; i < args.size();) {
        const std::u16string& option = args[i];
        if ((option == u"--layout" || option == u"--layout-data") && i + 1 < args.size()) {
            pxLib::pxTavKeyValueCollection layout;
            const bool fromText = option == u"--layout";
            ZOLT::PackageArchive archive{ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType, {}};
            if (!(fromText ? qvdpack::ParseCollectionFile(args[i + 1], layout, error)
                           : qvdpack::LoadCollectionFile(args[i + 1], layout, error)) ||
                !qvdpack::SavedCollection(layout, archive.bytes, error))
                return Fail(error);
            archives.push_back(std::move(archive));
            i += 2;
        } else if (option == u"--archive" && i + 3 < args.size()) {
            ZOLT::PackageArchive archive{args[i + 1], {}, {}};
            if (archive.id.empty()) return Fail("an archive id cannot be empty");
            if (!ParseGuidArgument(args[i + 2], archive.type))
                return Fail("an archive type is {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
            if (!qvdpack::ReadFileBytes(args[i + 3], kMaxArchiveFileBytes, archive.bytes, error))
                return Fail(error);
            archives.push_back(std::move(archive));
            i += 4;
        } else {
            return Usage();
        }
    }
    if (!qvdpack::AddPackage(args[0], args[1], archives, error)) return Fail(error);
    return 0;
}

// A partner number as the job carries it: an unsigned 32-bit decimal.
bool IsPartnerNumber(const std::u16string& text) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + (c - u'0');
    }
    return value <= 0xFFFFFFFFu && (text.size() == 1 || text[0] != u'0');
}

int SiteCodeCommand(const std::vector<std::u16string>& args) {
    if (args.size() != 2) return Usage();
    if (!IsPartnerNumber(args[0]) || !IsPartnerNumber(args[1]))
        return Fail("partner numbers are decimal numbers from 0 to 4294967295");
    Print(pxLib::Utf16ToUtf8(qvd::job::SiteCode(args[0], args[1])) + "\n");
    return 0;
}

#ifdef _WIN32
int CheckCommand(const std::vector<std::u16string>& args) {
    if (args.size() != 1) return Usage();
    std::string text;
    const qvdpack::CheckVerdict verdict = qvdpack::CheckInstaller(pxLib::ToWide(args[0]), text);
    Print(text);
    return static_cast<int>(verdict);
}
#endif

int Run(const std::vector<std::u16string>& argv) {
    if (argv.size() < 2) return Usage();
    const std::u16string& command = argv[1];
    const std::vector<std::u16string> args(argv.begin() + 2, argv.end());
    if (command == u"make-data") return MakeData(args);
    if (command == u"dump-data") return DumpData(args);
    if (command == u"add-package") return AddPackageCommand(args);
    if (command == u"list") return List(args);
    if (command == u"dump-layout") return DumpLayout(args);
    if (command == u"site-code") return SiteCodeCommand(args);
#ifdef _WIN32
    if (command == u"check") return CheckCommand(args);
#endif
    return Usage();
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    // The same bytes as on other systems: descriptions end their lines with LF.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(pxLib::ToU16(argv[i]));
    return Run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 0; i < argc; ++i) args.push_back(pxLib::Utf8ToUtf16(argv[i]));
    return Run(args);
}
#endif
