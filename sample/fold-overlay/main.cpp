// fold-overlay: makes an installer's appended data part of its last section,
// so that the file can be signed and then carry a package where the package
// reader looks. Usage: fold-overlay <in.exe> <out.exe>
#include "FoldOverlay.h"
#include "ToolFiles.h"
#include "collections/archive/MemoryStream.h"
#include "packer/FileSystem.h"
#include "support/text/Utf.h"

#include <cstdio>

namespace {

// Installers built here are far smaller; anything larger is not one of them.
constexpr uint64_t kMaxInstallerBytes = 512u * 1024 * 1024;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: fold-overlay <in.exe> <out.exe>\n", stderr);
        return 2;
    }
    const std::u16string in = pxLib::ToU16(argv[1]);
    const std::u16string out = pxLib::ToU16(argv[2]);
    std::vector<uint8_t> image;
    std::string error;
    if (!qvdpack::ReadFileBytes(in, kMaxInstallerBytes, image, error)) {
        std::fprintf(stderr, "fold-overlay: %s\n", error.c_str());
        return 1;
    }
    const qvdsample::FoldResult result = qvdsample::FoldOverlay(image);
    if (result != qvdsample::FoldResult::Folded && result != qvdsample::FoldResult::NothingToFold) {
        std::fprintf(stderr, "fold-overlay: %s: %s\n", pxLib::Utf16ToUtf8(in).c_str(),
                     qvdsample::Describe(result));
        return 1;
    }
    auto content = pxLib::MemoryStream::Create(std::move(image));
    if (ZOLT::Failed(ZOLT::ReplaceFileWith(out, content.get()))) {
        std::fprintf(stderr, "fold-overlay: cannot write %s\n", pxLib::Utf16ToUtf8(out).c_str());
        return 1;
    }
    return 0;
}
