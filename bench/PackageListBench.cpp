// Opens executables with the package reader, as the install data reader does
// several times per job, and prints for each the time an open takes and the
// peak memory it needs:
//   normal   a package of three archives, the layout data among them;
//   ceiling  a package listing as many records as the reader accepts, each
//            record as small as records come (an empty id, an empty archive);
//   crafted  a file of a few hundred MiB (the first argument, 300 by default)
//            whose package lists as many of those tiny records as fit.
// Both large packages are well formed: every empty archive is followed by its
// end marker. The files are sparse, in a temporary folder.
//
// Peak memory is the high-water mark of the resident set (the peak working
// set on Windows): how far it rose while the file was opened. Where the mark
// can be restarted before each file, that is the file's own need; where it
// cannot (Windows, Wine), a need shows only above every earlier peak, which is
// why the files come smallest first.
#include "ProcessMemory.h"
#include "SampleLayoutData.h"
#include "SparseExecutable.h"

#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "packer/PackageWriter.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using bench::Bytes;

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kDefaultCraftedMiB = 300;
constexpr double kMinimumSeconds = 1.0;
constexpr size_t kMaximumRounds = 200;
// The image's raw data ends here; four zero bytes, then the package.
constexpr uint64_t kEndOfRawData = bench::kImageHeadersSize + 0x200;
constexpr uint64_t kPackageStart = kEndOfRawData + 4;
// Magic, version and count; a record with an empty id; an end marker.
constexpr uint64_t kHeaderBytes = 12;
constexpr uint64_t kTinyRecordBytes = 4 + 4 + 16;
constexpr uint64_t kMarkerBytes = 4;

const pxLib::Guid kOtherType = {
    0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};

void Append32(Bytes& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

bool MakeNormal(const std::u16string& path, uint64_t& size) {
    Bytes package;
    if (ZOLT::Failed(ZOLT::PackageBytes(
            {{u"Readme", kOtherType, Bytes(2000, 'r')},
             {ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType, bench::SampleLayoutData()},
             {u"Licence", kOtherType, Bytes(8000, 'l')}},
            package)))
        return false;
    size = kPackageStart + package.size();
    return bench::WriteSparseFile(
        path, size, {{0, bench::ImageHeaders(kEndOfRawData)}, {kPackageStart, package}});
}

// A package of count tiny records: the records are all zero bytes (an empty
// id, size 0, a zero type) and stay a hole; only the header and the end
// markers are written.
bool MakeTiny(const std::u16string& path, uint64_t count, uint64_t& size) {
    Bytes header;
    Append32(header, ZOLT::kPackageMagic);
    Append32(header, ZOLT::kPackageVersion);
    Append32(header, static_cast<uint32_t>(count));
    Bytes marker;
    Append32(marker, ZOLT::kArchiveEndMarker);
    const uint64_t markersAt = kPackageStart + kHeaderBytes + count * kTinyRecordBytes;
    size = markersAt + count * kMarkerBytes;
    return bench::WriteSparseFile(path, size,
                                  {{0, bench::ImageHeaders(kEndOfRawData)},
                                   {kPackageStart, header},
                                   {markersAt, marker, count}});
}

struct Figures {
    uint64_t fileSize = 0;
    ZOLT::HRESULT result = 0;
    size_t records = 0;
    size_t rounds = 0;
    double fastestMs = 0;
    double medianMs = 0;
    uint64_t peakRiseKiB = 0;
    bool memoryKnown = false;
    bool peakRestarted = false;
};

Figures Measure(const std::u16string& path, uint64_t fileSize) {
    Figures figures;
    figures.fileSize = fileSize;
    uint64_t resident = 0, peakBefore = 0;
    figures.peakRestarted = bench::RestartPeakMemory();
    figures.memoryKnown = bench::ReadMemoryKiB(resident, peakBefore);
    std::vector<double> millis;
    const auto start = Clock::now();
    do {
        const auto begin = Clock::now();
        ZOLT::CFilePackerEx packer;
        figures.result = packer.Open(path);
        figures.records =
            packer.GetPackageHeader() ? packer.GetPackageHeader()->GetArchives().size() : 0;
        millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
    } while (millis.size() < kMaximumRounds &&
             std::chrono::duration<double>(Clock::now() - start).count() < kMinimumSeconds);
    uint64_t peakAfter = 0;
    if (figures.memoryKnown && bench::ReadMemoryKiB(resident, peakAfter) && peakAfter > peakBefore)
        figures.peakRiseKiB = peakAfter - peakBefore;
    std::sort(millis.begin(), millis.end());
    figures.rounds = millis.size();
    figures.fastestMs = millis.front();
    figures.medianMs = millis[millis.size() / 2];
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    const uint64_t craftedMiB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : kDefaultCraftedMiB;
    if (craftedMiB == 0) {
        std::fprintf(stderr, "usage: %s [size of the crafted file in MiB]\n", argv[0]);
        return 2;
    }
    const uint64_t craftedCount =
        (craftedMiB * kMiB - kPackageStart - kHeaderBytes) / (kTinyRecordBytes + kMarkerBytes);
    const fs::path folder = fs::temp_directory_path() / "qvd-package-list-bench";
    std::error_code error;
    fs::create_directories(folder, error);

    const char* names[] = {"normal", "ceiling", "crafted"};
    Figures figures[3];
    for (int i = 0; i < 3; ++i) {
        const std::u16string path = (folder / (std::string(names[i]) + ".exe")).u16string();
        uint64_t size = 0;
        const bool made = i == 0   ? MakeNormal(path, size)
                          : i == 1 ? MakeTiny(path, ZOLT::kMaxArchiveCount, size)
                                   : MakeTiny(path, craftedCount, size);
        if (!made) {
            std::fprintf(stderr, "cannot make the %s file in %s\n", names[i],
                         folder.string().c_str());
            return 1;
        }
        figures[i] = Measure(path, size);
        fs::remove(path, error);
    }
    fs::remove_all(folder, error);

    std::printf("Package reader: Open of an executable, %.1f s or %zu opens of each at most\n",
                kMinimumSeconds, kMaximumRounds);
    std::printf("%-30s %16s %16s %16s\n", "", names[0], names[1], names[2]);
    std::printf("%-30s %16" PRIu64 " %16" PRIu64 " %16" PRIu64 "\n", "file size (bytes)",
                figures[0].fileSize, figures[1].fileSize, figures[2].fileSize);
    std::printf("%-30s %16s %16" PRIu32 " %16" PRIu64 "\n", "records in the file", "3",
                ZOLT::kMaxArchiveCount, craftedCount);
    std::printf("%-30s %16zu %16zu %16zu\n", "records listed", figures[0].records,
                figures[1].records, figures[2].records);
    std::printf("%-30s       0x%08" PRIx32 "       0x%08" PRIx32 "       0x%08" PRIx32 "\n",
                "Open result", static_cast<uint32_t>(figures[0].result),
                static_cast<uint32_t>(figures[1].result), static_cast<uint32_t>(figures[2].result));
    std::printf("%-30s %16zu %16zu %16zu\n", "opens", figures[0].rounds, figures[1].rounds,
                figures[2].rounds);
    std::printf("%-30s %16.3f %16.3f %16.3f\n", "fastest open (ms)", figures[0].fastestMs,
                figures[1].fastestMs, figures[2].fastestMs);
    std::printf("%-30s %16.3f %16.3f %16.3f\n", "median open (ms)", figures[0].medianMs,
                figures[1].medianMs, figures[2].medianMs);
    if (figures[0].memoryKnown)
        std::printf("%-30s %16" PRIu64 " %16" PRIu64 " %16" PRIu64 "\n", "peak memory rise (KiB)",
                    figures[0].peakRiseKiB, figures[1].peakRiseKiB, figures[2].peakRiseKiB);
    else
        std::printf("%-30s %16s\n", "peak memory rise (KiB)", "unknown here");
    if (figures[0].memoryKnown && !figures[0].peakRestarted)
        std::printf("(the peak cannot be restarted here: a rise shows only above earlier peaks)\n");
    return 0;
}
