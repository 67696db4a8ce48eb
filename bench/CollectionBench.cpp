// Saves and loads a key-value collection of 100,000 mixed values through a
// memory stream and prints values per second and MB/s for each direction,
// next to a plain memcpy of the same bytes as the ceiling.
//
// Every round is timed twice: by the wall clock and by the process's CPU
// time (std::clock). On a shared machine the wall clock also counts the time
// other processes had the CPU; the fastest round of each is the figure, with
// the wall clock's median beside it.
#include "collections/values/KeyValueCollection.h"
#include "collections/archive/MemoryStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kValues = 100000;
constexpr double kMinimumSeconds = 2.0;
constexpr size_t kMinimumRounds = 10;

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}

// Integers of several widths, doubles, short strings of both widths, class
// ids and small blocks, in a fixed rotation.
void Fill(pxLib::pxTavKeyValueCollection& collection) {
    const pxLib::Guid guid = {0x12345678, 0x9ABC, 0xDEF0, {1, 2, 3, 4, 5, 6, 7, 8}};
    const uint8_t block[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    for (uint32_t i = 0; i < kValues; ++i) {
        const uint64_t key = uint64_t{i} * 3 + 1;
        bool stored = false;
        switch (i % 10) {
            case 0:
                stored = collection.SetUInt32(key, i);
                break;
            case 1:
                stored = collection.SetInt32(key, -static_cast<int32_t>(i));
                break;
            case 2:
                stored = collection.SetBool(key, (i & 1) != 0);
                break;
            case 3:
                stored = collection.SetUInt64(key, uint64_t{i} << 20);
                break;
            case 4:
                stored = collection.SetDouble(key, i * 0.5);
                break;
            case 5:
                stored = collection.SetString(key, u"value " + std::u16string(1, u'a' + i % 26));
                break;
            case 6:
                stored = collection.SetAnsiString(key, "path\\file" + std::to_string(i % 100));
                break;
            case 7:
                stored = collection.SetGuid(key, guid);
                break;
            case 8:
                stored = collection.SetBinary(key, block, sizeof(block));
                break;
            default:
                stored = collection.SetInt16(key, static_cast<int16_t>(i));
                break;
        }
        Require(stored, "storing a value");
    }
}

struct Figures {
    std::vector<double> wall;
    std::vector<double> cpu;
};

double Best(const std::vector<double>& rounds) {
    return *std::min_element(rounds.begin(), rounds.end());
}

double Median(std::vector<double> rounds) {
    std::sort(rounds.begin(), rounds.end());
    return rounds[rounds.size() / 2];
}

// prepare runs before each round, outside the clocks.
template <class Prepare, class Step>
Figures Measure(Prepare&& prepare, Step&& step) {
    Figures figures;
    const Clock::time_point start = Clock::now();
    while (figures.wall.size() < kMinimumRounds ||
           std::chrono::duration<double>(Clock::now() - start).count() < kMinimumSeconds) {
        prepare();
        const std::clock_t cpuStart = std::clock();
        const Clock::time_point wallStart = Clock::now();
        Require(step(), "a round");
        figures.wall.push_back(std::chrono::duration<double>(Clock::now() - wallStart).count());
        figures.cpu.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
    }
    return figures;
}

void PrintOne(const char* name, const char* clock, double seconds, size_t bytes) {
    std::printf("%-7s %-13s %9.3f ms  %8.2f million values/s  %9.1f MB/s\n", name, clock,
                seconds * 1e3, kValues / seconds / 1e6, bytes / seconds / 1e6);
}

void Print(const char* name, const Figures& f, size_t bytes) {
    PrintOne(name, "wall, best", Best(f.wall), bytes);
    PrintOne(name, "wall, median", Median(f.wall), bytes);
    if (Best(f.cpu) > 0) PrintOne(name, "CPU, best", Best(f.cpu), bytes);
}

// What a first touch of fresh memory costs here: it shapes the wall clock of
// anything that allocates, and some machines make it far dearer than others.
double MicrosecondsPerFreshPage() {
    constexpr size_t kBytes = 32u << 20;
    const Clock::time_point start = Clock::now();
    std::unique_ptr<char[]> memory(new char[kBytes]);
    for (size_t i = 0; i < kBytes; i += 4096) memory[i] = 1;
    volatile char keep = memory[kBytes / 2];
    (void)keep;
    return std::chrono::duration<double>(Clock::now() - start).count() * 1e6 / (kBytes / 4096);
}

}  // namespace

int main() {
    pxLib::pxTavKeyValueCollection source;
    Fill(source);

    // One stream for every round, emptied first: the figure is the writing,
    // not the supply of fresh pages to a new stream.
    auto output = pxLib::MemoryStream::Create();
    const Figures save = Measure([&] { Require(output->SetSize(0), "emptying the stream"); },
                                 [&] { return source.Save(output.get()); });
    const std::vector<uint8_t> saved = output->Data();

    auto input = pxLib::MemoryStream::Create(saved);
    std::unique_ptr<pxLib::pxTavKeyValueCollection> loaded;
    const Figures load = Measure(
        [&] {
            loaded = std::make_unique<pxLib::pxTavKeyValueCollection>();
            Require(input->SetPosition(0), "rewinding the stream");
        },
        [&] { return loaded->Load(input.get()); });
    const size_t loadedCount = loaded->GetCount();

    std::vector<uint8_t> copy(saved.size());
    volatile uint8_t sink = 0;
    const Figures memcpyFigures = Measure([] {},
                                          [&] {
                                              std::memcpy(copy.data(), saved.data(), saved.size());
                                              sink = sink + copy[copy.size() / 2];
                                              return true;
                                          });

    std::printf("collection of %u mixed values, %zu bytes saved, %zu loaded\n", kValues,
                saved.size(), loadedCount);
    Print("save", save, saved.size());
    Print("load", load, saved.size());
    Print("memcpy", memcpyFigures, saved.size());
    std::printf("fresh memory: %.2f microseconds per 4 KiB page on first touch\n",
                MicrosecondsPerFreshPage());
    return loadedCount == kValues ? 0 : 1;
}
