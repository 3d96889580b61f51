#include "platform/system.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "platform/halt.h"

using namespace hv;

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
