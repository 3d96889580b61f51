#include "d3dapp/FramePacer.h"

namespace hv {

TFramePacer::Clock::duration TFramePacer::Delay(Clock::time_point now, uint32_t rateHz) {
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / double(rateHz ? rateHz : kDefaultRateHz)));
    // The next frame is due one period after the one just presented was due; the schedule
    // keeps to these due times rather than to when waits end, so sleeping late does not drift.
    const Clock::time_point due = started_ ? lastStart_ + period : now;
    started_ = true;
    if (due <= now) {
        lastStart_ = now;
        return Clock::duration::zero();
    }
    lastStart_ = due;
    return due - now;
}

}  // namespace hv
