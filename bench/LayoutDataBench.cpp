// Reads the layout data of a 1 MiB and of a 1 GiB executable the way the
// install data reader does (PE headers, the package list, the archive's
// collection) and prints, side by side, the time per load and the bytes read
// through the file stream. The reader touches only the headers and the
// package, so both columns should be the same whatever the file's size.
//
// The files are made sparse in a temporary folder: an image whose last
// section runs to the given size, then four zero bytes and the package.
#include "SampleLayoutData.h"
#include "SparseExecutable.h"

#include "collections/values/KeyValueCollection.h"
#include "collections/archive/RegionStream.h"
#include "packer/FileDataExtender.h"
#include "packer/FilePackerEx.h"
#include "packer/FileSystem.h"
#include "packer/PackageWriter.h"
#include "packer/StreamStatus.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using bench::Bytes;

constexpr int kRounds = 200;

// Counts what goes through the stream below.
class CountingStream final : public pxLib::IByteStream {
public:
    explicit CountingStream(pxLib::RefPtr<pxLib::IByteStream> inner) : m_inner(std::move(inner)) {}
    pxLib::OBJRESULT QueryInterface(const pxLib::Guid& iid, void** out) override {
        if (iid == pxLib::IID_IRefObject || iid == pxLib::IID_IByteStream) {
            *out = static_cast<pxLib::IByteStream*>(this);
            AddRef();
            return pxLib::OBJ_OK;
        }
        return m_inner->QueryInterface(iid, out);  // the file's status
    }
    int64_t AddRef() override { return m_refs.AddRef(); }
    int64_t Release() override { return m_refs.Release(this); }
    bool GetSize(uint64_t& size) override { return m_inner->GetSize(size); }
    bool SetSize(uint64_t size) override { return m_inner->SetSize(size); }
    bool GetPosition(uint64_t& position) override { return m_inner->GetPosition(position); }
    bool SetPosition(uint64_t position) override { return m_inner->SetPosition(position); }
    bool Write(const void* bytes, uint32_t count) override { return m_inner->Write(bytes, count); }
    bool Read(void* bytes, uint32_t count) override {
        ++reads;
        const bool ok = m_inner->Read(bytes, count);
        if (ok) bytesRead += count;
        return ok;
    }

    uint64_t bytesRead = 0;
    uint64_t reads = 0;

private:
    pxLib::RefCount m_refs;
    pxLib::RefPtr<pxLib::IByteStream> m_inner;
};

// A PE32+ image of one section reaching to imageSize, then four zero bytes and
// the package.
bool MakeExecutable(const std::u16string& path, uint64_t imageSize, const Bytes& package) {
    Bytes tail(4, 0);
    tail.insert(tail.end(), package.begin(), package.end());
    return bench::WriteSparseFile(path, imageSize + tail.size(),
                                  {{0, bench::ImageHeaders(imageSize)}, {imageSize, tail}});
}

struct Figures {
    uint64_t fileSize = 0;
    uint64_t bytesRead = 0;
    uint64_t reads = 0;
    double bestMicros = 0;
    double medianMicros = 0;
    bool ok = false;
};

// One load of the layout data as the module form of the install data reader
// does it, with what went through the file stream.
bool LoadLayout(const std::u16string& path, uint64_t& bytesRead, uint64_t& reads) {
    pxLib::RefPtr<ZOLT::IFileStream> file;
    if (ZOLT::Failed(ZOLT::CreateFileStream(path, ZOLT::FileAccess::Read,
                                            ZOLT::FileDisposition::OpenExisting, file)))
        return false;
    pxLib::RefPtr<CountingStream> counting(
        new CountingStream(pxLib::RefPtr<pxLib::IByteStream>(file.get())));
    ZOLT::CFilePackerEx packer;
    if (ZOLT::Failed(packer.OpenStream(counting.get()))) return false;
    const auto* archive = packer.FindArchive(ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType);
    pxLib::RefPtr<pxLib::IByteStream> stream;
    if (archive == nullptr || ZOLT::Failed(packer.ExtractStream(ZOLT::kLayoutArchiveId,
                                                                ZOLT::kLayoutArchiveType, stream)))
        return false;
    pxLib::RefPtr<pxLib::IByteStream> region(
        new pxLib::RegionStream(stream, archive->GetOffset(), archive->GetSize()));
    pxLib::pxTavKeyValueCollection collection;
    uint32_t kind = 0;
    const bool loaded =
        collection.Load(region.get()) && collection.GetUInt32(1001, kind) && kind == 64;
    bytesRead = counting->bytesRead;
    reads = counting->reads;
    return loaded;
}

Figures Measure(const std::u16string& path, uint64_t fileSize) {
    Figures figures;
    figures.fileSize = fileSize;
    std::vector<double> micros;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = Clock::now();
        if (!LoadLayout(path, figures.bytesRead, figures.reads)) return figures;
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    figures.bestMicros = micros.front();
    figures.medianMicros = micros[micros.size() / 2];
    figures.ok = true;
    return figures;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / "qvd-layout-bench";
    std::error_code error;
    fs::create_directories(folder, error);
    Bytes package;
    if (ZOLT::Failed(ZOLT::PackageBytes(
            {{ZOLT::kLayoutArchiveId, ZOLT::kLayoutArchiveType, bench::SampleLayoutData()}},
            package))) {
        std::fprintf(stderr, "cannot write the package\n");
        return 1;
    }
    const uint64_t sizes[] = {uint64_t{1} << 20, uint64_t{1} << 30};
    const char* names[] = {"1 MiB", "1 GiB"};
    Figures figures[2];
    for (int i = 0; i < 2; ++i) {
        const std::u16string path =
            (folder / (std::string("setup-") + std::to_string(i) + ".exe")).u16string();
        if (!MakeExecutable(path, sizes[i], package)) {
            std::fprintf(stderr, "cannot make the %s file in %s\n", names[i],
                         folder.string().c_str());
            return 1;
        }
        figures[i] = Measure(path, sizes[i] + 4 + package.size());
        if (!figures[i].ok) {
            std::fprintf(stderr, "the layout data of the %s file does not load\n", names[i]);
            return 1;
        }
    }
    fs::remove_all(folder, error);

    std::printf("Layout data of an executable: %d loads each, package of %zu bytes\n", kRounds,
                package.size());
    std::printf("%-26s %16s %16s\n", "", names[0], names[1]);
    std::printf("%-26s %16" PRIu64 " %16" PRIu64 "\n", "file size (bytes)", figures[0].fileSize,
                figures[1].fileSize);
    std::printf("%-26s %16" PRIu64 " %16" PRIu64 "\n", "bytes read per load", figures[0].bytesRead,
                figures[1].bytesRead);
    std::printf("%-26s %16" PRIu64 " %16" PRIu64 "\n", "reads per load", figures[0].reads,
                figures[1].reads);
    std::printf("%-26s %16.1f %16.1f\n", "fastest load (us)", figures[0].bestMicros,
                figures[1].bestMicros);
    std::printf("%-26s %16.1f %16.1f\n", "median load (us)", figures[0].medianMicros,
                figures[1].medianMicros);
    return 0;
}
