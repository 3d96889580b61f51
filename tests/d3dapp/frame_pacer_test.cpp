// The loop's pacing: frames that present at once are held a display period apart, frames that
// already take a period (a slow scene, or a Present that waits for the retrace) are not slowed
// further.
#include <gtest/gtest.h>

#include "d3dapp/FramePacer.h"

namespace hv {
namespace {

using Clock = TFramePacer::Clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// Runs `frames` frames of `work` each through the pacer at `rate` Hz, sleeping exactly as told;
// returns when the last frame was presented, counted from the first frame's start.
Clock::duration RunFrames(TFramePacer& pacer, int frames, Clock::duration work, uint32_t rate) {
    const Clock::time_point start{};
    Clock::time_point now = start;
    for (int i = 0; i < frames; ++i) {
        now += work;
        now += pacer.Delay(now, rate);
    }
    return now - start;
}

TEST(FramePacer, FramesThatPresentAtOnceAreHeldToTheRefreshRate) {
    TFramePacer pacer;
    // 121 frames of 1 ms at 60 Hz begin 1/60 s apart: the last begins after 2 s.
    const auto total = RunFrames(pacer, 121, milliseconds(1), 60);
    EXPECT_NEAR(std::chrono::duration<double>(total).count(), 2.0, 0.002);
}

TEST(FramePacer, AnUnknownRateCountsAsSixtyHertz) {
    TFramePacer unknown, sixty;
    EXPECT_EQ(RunFrames(unknown, 30, microseconds(300), 0),
              RunFrames(sixty, 30, microseconds(300), 60));
}

TEST(FramePacer, SlowFramesGetNoWaitAndNoWaitFollowsThem) {
    TFramePacer pacer;
    Clock::time_point now{};
    now += milliseconds(2);
    pacer.Delay(now, 50);  // the first frame sets the schedule
    for (int i = 0; i < 5; ++i) {
        now += milliseconds(25);  // longer than the 20 ms period
        EXPECT_EQ(pacer.Delay(now, 50), Clock::duration::zero()) << "frame " << i;
    }
    // A fast frame after them waits only for the rest of its own period.
    const Clock::time_point begun = now;
    now += milliseconds(5);
    EXPECT_EQ(pacer.Delay(now, 50), begun + milliseconds(20) - now);
}

TEST(FramePacer, APresentThatWaitsForTheRetraceIsNotSlowedFurther) {
    // Present returns at each retrace, 1/60 s apart: the pacer must not halve the rate by adding
    // a period of its own on top.
    TFramePacer pacer;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / 60));
    Clock::time_point now{};
    Clock::duration waited{};
    for (int i = 1; i <= 120; ++i) {
        Clock::time_point retrace = Clock::time_point{} + period * i;
        now = std::max(now + milliseconds(3), retrace);  // work, then the wait in Present
        const auto d = pacer.Delay(now, 60);
        waited += d;
        now += d;
    }
    EXPECT_LT(waited, milliseconds(1));
}

TEST(FramePacer, SleepingLateDoesNotDrift) {
    TFramePacer pacer;
    Clock::time_point now{};
    for (int i = 0; i < 600; ++i) {
        now += microseconds(500);
        now += pacer.Delay(now, 60) + microseconds(100);  // each sleep ends 0.1 ms late
    }
    // The 600th frame begins 599 periods after the first (which began at 0.5 ms), 0.1 ms late:
    // the late wake-ups do not add up.
    EXPECT_NEAR(std::chrono::duration<double>(now - Clock::time_point{}).count(),
                599.0 / 60 + 0.0006, 0.0001);
}

}  // namespace
}  // namespace hv
