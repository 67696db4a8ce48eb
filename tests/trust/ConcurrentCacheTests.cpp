// The process-wide file cache under verifiers on several threads at once,
// each with its own verifier, all with the cache on.
#include "TrustTestSupport.h"
#include "trust/FileCache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace qvdtest {
namespace {

using pxLib::TrustLevel;
using pxLib::ValidationError;

TEST(ConcurrentCache, VerifiersOnManyThreadsShareOneCache) {
    const struct {
        std::wstring path;
        TrustLevel level;
        ValidationError expected;
    } requests[] = {
        {InstallerFixture(L"maker"), TrustLevel::SignedByMaker, ValidationError::VT_TRUSTED},
        {InstallerFixture(L"maker"), TrustLevel::SignedAny, ValidationError::VT_TRUSTED},
        {InstallerFixture(L"maker-pair12"), TrustLevel::SignedByMaker, ValidationError::VT_TRUSTED},
        {InstallerFixture(L"other"), TrustLevel::SignedByMaker, ValidationError::VT_NOT_TRUSTED},
        {InstallerFixture(L"other"), TrustLevel::SignedAny, ValidationError::VT_TRUSTED},
        {InstallerFixture(L"alternate"), TrustLevel::SignedByAltPublisher,
         ValidationError::VT_TRUSTED},
        {InstallerFixture(L"platform"), TrustLevel::SignedByPlatform, ValidationError::VT_TRUSTED},
        {InstallerFixture(L"tampered"), TrustLevel::SignedByMaker, ValidationError::VT_NOT_TRUSTED},
    };
    constexpr int kThreads = 4;
    constexpr int kRounds = 6;
    pxLib::ProcessFileCache().Clear();
    pxLib::ProcessFileCache().SetLimit(4);  // small, so entries come and go
    std::atomic<int> wrong{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            pxLib::RefPtr<pxLib::CVerifyTrust> verifier = NewVerifier();
            verifier->SetCacheEnabled(true);
            for (int round = 0; round < kRounds; ++round) {
                for (size_t i = 0; i < std::size(requests); ++i) {
                    const auto& r = requests[(i + static_cast<size_t>(t)) % std::size(requests)];
                    if (verifier->VerifyFile(r.path.c_str(), r.level) != r.expected) ++wrong;
                }
            }
            ++done;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(done.load(), kThreads);
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_LE(pxLib::ProcessFileCache().Count(), 4u);
    pxLib::ProcessFileCache().SetLimit(pxLib::FileCache::kDefaultLimit);
}

}  // namespace
}  // namespace qvdtest
