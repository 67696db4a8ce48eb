// The verified-file cache: its key, when an entry answers a request, its limit
// and order, and many threads at once.
#include "trust/FileCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

using pxLib::FileCache;
using pxLib::TrustLevel;
using pxLib::ValidationError;

constexpr ValidationError T = ValidationError::VT_TRUSTED;
constexpr ValidationError N = ValidationError::VT_NOT_TRUSTED;
constexpr ValidationError NotCached = ValidationError::VT_ERROR;

TrustLevel Level(uint32_t n) {
    return static_cast<TrustLevel>(n);
}

std::u16string PathOf(int i) {
    std::u16string path = u"C:\\files\\f";
    for (char c : std::to_string(i)) path.push_back(static_cast<char16_t>(c));
    return path + u".exe";
}

struct Looked {
    ValidationError result;
    bool systemComponent, conflict;
};
Looked Lookup(FileCache& cache, std::u16string_view path, TrustLevel level, bool variant = false,
              uint32_t driver = 0) {
    Looked l{};
    l.systemComponent = true;
    l.conflict = true;
    l.result = cache.Lookup(path, level, variant, driver, l.systemComponent, l.conflict);
    return l;
}

TEST(FileCache, TheKeyIsTheOneAtATimeHashOfTheLowerCasePath) {
    // h = (h + c) * 1025; h ^= h >> 6; at the end h *= 9; h ^= h >> 11; h *= 32769.
    uint64_t expected = 0;
    for (char16_t c : std::u16string(u"c:\\a")) {
        expected = (expected + c) * 1025;
        expected ^= expected >> 6;
    }
    expected *= 9;
    expected ^= expected >> 11;
    expected *= 32769;
    EXPECT_EQ(pxLib::PathKey(u"C:\\A"), expected);
    EXPECT_EQ(pxLib::PathKey(u""), 0u);
    EXPECT_EQ(pxLib::PathKey(u"C:\\Programme\\\u00C4\u0411.EXE"),
              pxLib::PathKey(u"c:\\programme\\\u00E4\u0431.exe"));
    EXPECT_NE(pxLib::PathKey(u"C:\\a.exe"), pxLib::PathKey(u"C:\\b.exe"));
}

TEST(FileCache, WhichCachedLevelAnswersWhichRequest) {
    // cached level x requested level -> result, conflict
    const struct {
        uint32_t cached, requested;
        ValidationError result;
        bool conflict;
    } cases[] = {
        {1, 1, N, false}, {2, 1, T, false}, {3, 1, T, false}, {4, 1, T, false}, {5, 1, T, false},
        {1, 2, N, false}, {2, 2, N, false}, {3, 2, T, false}, {3, 3, T, false}, {4, 3, N, true},
        {5, 3, N, true},  {1, 3, N, false}, {2, 3, N, false}, {4, 4, T, false}, {3, 4, N, true},
        {5, 4, N, true},  {5, 5, T, false}, {3, 5, N, true},  {4, 5, N, true},  {2, 5, N, false},
    };
    for (const auto& c : cases) {
        FileCache cache;
        ASSERT_EQ(cache.Add(u"C:\\x\\setup.exe", Level(c.cached), false, true, 0), T);
        const Looked l = Lookup(cache, u"c:\\X\\SETUP.exe", Level(c.requested));
        EXPECT_EQ(l.result, c.result) << c.cached << " for " << c.requested;
        EXPECT_EQ(l.conflict, c.conflict) << c.cached << " for " << c.requested;
        EXPECT_EQ(l.systemComponent, c.result == T) << c.cached << " for " << c.requested;
    }
}

TEST(FileCache, VariantAndDriverPolicyKeepSeparateEntries) {
    FileCache cache;
    ASSERT_EQ(cache.Add(u"C:\\d.sys", Level(4), true, false, 1), T);
    EXPECT_EQ(Lookup(cache, u"C:\\d.sys", Level(4), true, 1).result, T);
    EXPECT_EQ(Lookup(cache, u"C:\\d.sys", Level(4), false, 1).result, NotCached);
    EXPECT_EQ(Lookup(cache, u"C:\\d.sys", Level(4), true, 0).result, NotCached);
    // Forgetting a path takes its first entry whatever the variant.
    EXPECT_EQ(cache.Remove(u"C:\\D.SYS"), T);
    EXPECT_EQ(cache.Remove(u"C:\\d.sys"), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(cache.Count(), 0u);
}

// The level of the path's entry, found by asking for each level.
uint32_t CachedLevel(FileCache& cache, std::u16string_view path) {
    for (uint32_t level : {3u, 4u, 5u})
        if (Lookup(cache, path, Level(level)).result == T) return level;
    if (Lookup(cache, path, Level(1)).result == T) return 2;
    return Lookup(cache, path, Level(1)).result == N ? 1 : 0;
}

TEST(FileCache, AddingAgainRaisesOnlyWeakLevelsAndKeepsTheSystemComponentMark) {
    const struct {
        uint32_t first, second, afterwards;
    } cases[] = {
        {1, 2, 2}, {1, 3, 3}, {2, 1, 2}, {2, 4, 4}, {3, 4, 3}, {4, 3, 4}, {3, 1, 3}, {1, 1, 1},
    };
    for (const auto& c : cases) {
        FileCache cache;
        EXPECT_EQ(cache.Add(u"C:\\f", Level(c.first), false, false, 0), T);
        EXPECT_EQ(cache.Add(u"C:\\f", Level(c.second), false, false, 0), T);
        EXPECT_EQ(cache.Count(), 1u);
        EXPECT_EQ(CachedLevel(cache, u"C:\\f"), c.afterwards) << c.first << " then " << c.second;
    }
    FileCache cache;
    EXPECT_EQ(cache.Add(u"C:\\f", Level(4), false, true, 0), T);
    EXPECT_EQ(cache.Add(u"C:\\f", Level(4), false, false, 0), T);
    EXPECT_TRUE(Lookup(cache, u"C:\\f", Level(4)).systemComponent);
    FileCache marked;
    EXPECT_EQ(marked.Add(u"C:\\f", Level(4), false, false, 0), T);
    EXPECT_EQ(marked.Add(u"C:\\f", Level(4), false, true, 0), T);
    EXPECT_TRUE(Lookup(marked, u"C:\\f", Level(4)).systemComponent);
}

TEST(FileCache, PathsWhoseKeysCollideKeepTheirOwnEntries) {
    // Every path has the same key here.
    FileCache cache([](std::u16string_view) { return uint64_t{42}; });
    ASSERT_EQ(cache.Add(u"C:\\trusted.exe", Level(3), false, false, 0), T);
    EXPECT_EQ(Lookup(cache, u"C:\\other.exe", Level(3)).result, NotCached);
    EXPECT_EQ(Lookup(cache, u"c:\\TRUSTED.EXE", Level(3)).result, T);
    ASSERT_EQ(cache.Add(u"C:\\other.exe", Level(4), false, false, 0), T);
    EXPECT_EQ(cache.Count(), 2u);
    EXPECT_EQ(cache.Remove(u"C:\\other.exe"), T);
    EXPECT_EQ(cache.Remove(u"C:\\third.exe"), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(Lookup(cache, u"C:\\trusted.exe", Level(3)).result, T);
}

TEST(FileCache, InvalidRequests) {
    FileCache cache;
    EXPECT_EQ(cache.Add(u"", Level(1), false, false, 0), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(cache.Add(u"C:\\f", Level(0), false, false, 0), ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(Lookup(cache, u"", Level(1)).result, ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(Lookup(cache, u"C:\\f", Level(0)).result, ValidationError::VT_INVALID_ARG);
    EXPECT_EQ(cache.Count(), 0u);
}

TEST(FileCache, TheLimitDropsTheLeastRecentlyUsed) {
    FileCache cache;
    EXPECT_EQ(cache.Limit(), FileCache::kDefaultLimit);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(cache.Add(PathOf(i), Level(3), false, false, 0), T);
    // A hit moves file 0 to the newest end; the 101st file then drops file 1.
    EXPECT_EQ(Lookup(cache, PathOf(0), Level(3)).result, T);
    EXPECT_EQ(cache.Add(PathOf(100), Level(3), false, false, 0), T);
    EXPECT_EQ(cache.Count(), 100u);
    EXPECT_EQ(Lookup(cache, PathOf(0), Level(3)).result, T);
    EXPECT_EQ(Lookup(cache, PathOf(1), Level(3)).result, NotCached);
    EXPECT_EQ(Lookup(cache, PathOf(2), Level(3)).result, T);

    // Limit 1 keeps the newest only (file 2, just looked up).
    cache.SetLimit(1);
    EXPECT_EQ(cache.Count(), 1u);
    EXPECT_EQ(Lookup(cache, PathOf(2), Level(3)).result, T);

    // Limit 0 drops everything, then grows without bound and without reordering.
    cache.SetLimit(0);
    EXPECT_EQ(cache.Count(), 0u);
    for (int i = 0; i < 250; ++i) EXPECT_EQ(cache.Add(PathOf(i), Level(3), false, false, 0), T);
    EXPECT_EQ(cache.Count(), 250u);
    EXPECT_EQ(Lookup(cache, PathOf(0), Level(3)).result, T);
    cache.SetLimit(249);
    EXPECT_EQ(Lookup(cache, PathOf(0), Level(3)).result, NotCached);
    EXPECT_EQ(Lookup(cache, PathOf(1), Level(3)).result, T);
    cache.Clear();
    EXPECT_EQ(cache.Count(), 0u);
    EXPECT_EQ(cache.Limit(), 249u);
}

TEST(FileCache, ManyThreadsAtOnce) {
    FileCache cache;
    cache.SetLimit(64);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const std::u16string path = PathOf(t * 1000 + i % 100);
                bool system = false, conflict = false;
                if (cache.Add(path, Level(3), false, false, 0) != T) ++wrong;
                const ValidationError r = cache.Lookup(path, Level(4), false, 0, system, conflict);
                // Either dropped meanwhile by another thread's adds, or a conflict.
                if (!(r == NotCached || (r == N && conflict))) ++wrong;
                if (i % 500 == 0) cache.SetLimit(32 + static_cast<uint32_t>(t));
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(cache.Count(), cache.Limit());
}

}  // namespace
