// The per-thread value that replaces thread_local on worker paths: each
// thread sees only its own value, and reading or setting it leaves the
// thread's last error as it was.
#include "support/system/ThreadSlot.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

pxLib::ThreadSlot g_slot;

TEST(ThreadSlot, EachThreadSeesOnlyItsOwnValue) {
    EXPECT_EQ(g_slot.Get(), 0u);
    ASSERT_TRUE(g_slot.Set(7));
    uintptr_t seenByOther = 1;
    bool setByOther = false;
    std::thread other([&] {
        seenByOther = g_slot.Get();
        setByOther = g_slot.Set(9);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0u) << "a new thread starts without a value";
    EXPECT_TRUE(setByOther);
    EXPECT_EQ(g_slot.Get(), 7u) << "another thread's value is not this one's";
    ASSERT_TRUE(g_slot.Set(0));
}

#ifdef _WIN32
TEST(ThreadSlot, KeepsTheLastError) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_TRUE(g_slot.Set(3));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(g_slot.Get(), 3u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED))
        << "TlsGetValue clears it on success";
    ASSERT_TRUE(g_slot.Set(0));
}
#endif

}  // namespace
