#include "platform/system.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/halt.h"

using namespace hv;

// The sanitizer's allocator answers neither mallopt nor mallinfo2 as the C library's does.
#if defined(__SANITIZE_ADDRESS__)
#define HV_OWN_ALLOCATOR 0
#else
#define HV_OWN_ALLOCATOR 1
#endif

// After a large block was freed (a decoded atlas), blocks of a few megabytes (the driver's
// streamed stores) still get mappings of their own instead of coming from the heap, where
// left by the C library's moving threshold they would scatter free space.
TEST(System, BlocksOfAFewMegabytesStayOutOfTheHeapAfterALargerOneWasFreed) {
    if (!HV_OWN_ALLOCATOR) GTEST_SKIP() << "another allocator";
    KeepLargeBlocksOutOfTheHeap();
    void* atlas = std::malloc(size_t(16) << 20);  // a 2048 x 2048 picture decoded
    ASSERT_NE(atlas, nullptr);
    std::memset(atlas, 1, 4096);
    std::free(atlas);
    const size_t mappedBefore = mallinfo2().hblks;
    void* store = std::malloc(size_t(4) << 20);
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(mallinfo2().hblks, mappedBefore + 1);
    std::free(store);
    EXPECT_EQ(mallinfo2().hblks, mappedBefore);
}

// The rasteriser takes megabytes of small blocks for a frame and frees them at its end: the
// heap keeps that space for the next frame instead of giving it back and faulting it in again.
TEST(System, AFramesWorthOfSmallBlocksFreedStaysInTheHeap) {
    if (!HV_OWN_ALLOCATOR) GTEST_SKIP() << "another allocator";
    KeepLargeBlocksOutOfTheHeap();
    std::vector<void*> bins;
    for (int i = 0; i < 64; ++i) {  // 4 MB in blocks of 64 kB, as the rasteriser's bins
        bins.push_back(std::malloc(size_t(64) << 10));
        ASSERT_NE(bins.back(), nullptr);
    }
    const size_t grown = mallinfo2().arena;
    for (auto it = bins.rbegin(); it != bins.rend(); ++it) std::free(*it);
    EXPECT_GE(mallinfo2().arena + (size_t(128) << 10), grown);
}

TEST(System, TickCountAdvancesInMilliseconds) {
    uint32_t a = GetTickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    uint32_t elapsed = GetTickCount() - a;  // unsigned difference survives the 2^32 wrap
    EXPECT_GE(elapsed, 25u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(System, AppDataFollowsTheEnvironment) {
    ::setenv("APPDATA", "/tmp/appdata/", 1);
    EXPECT_EQ(AppDataDir(), "/tmp/appdata");
    ::setenv("APPDATA", "", 1);
    ::setenv("XDG_DATA_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(AppDataDir(), "/tmp/xdg");
    ::unsetenv("APPDATA");
    ::unsetenv("XDG_DATA_HOME");
    ::setenv("HOME", "/home/player", 1);
    EXPECT_EQ(AppDataDir(), "/home/player/.local/share");
    EXPECT_FALSE(GetEnv("HV_SURELY_NOT_SET_ANYWHERE").has_value());
    EXPECT_EQ(ExeDir().back(), '/');
}

TEST(Halt, FinalizersRunOnceInReverseOrderAndTheExitCodeHolds) {
    EXPECT_EXIT(
        {
            AddFinalizer([] { std::fputs("first-registered\n", stderr); });
            AddFinalizer([] {
                std::fputs("last-registered\n", stderr);
                throw 1;  // a failing step does not stop the others
            });
            Halt(3);
        },
        ::testing::ExitedWithCode(3), "last-registered\nfirst-registered\n");
    int runs = 0;
    AddFinalizer([&] { ++runs; });
    RunFinalizers();
    RunFinalizers();
    EXPECT_EQ(runs, 1);
}
