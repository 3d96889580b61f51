// Holds the loop to the display's refresh rate where presenting does not wait for the display
// itself (software rendering, X servers without a retrace), so that a game never burns a core
// on frames nobody sees. Where presenting does wait, frames already arrive a refresh apart and
// the pacer adds no wait of its own.
#pragma once

#include <chrono>
#include <cstdint>

namespace hv {

class TFramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // The rate assumed when the display does not tell its own.
    static constexpr uint32_t kDefaultRateHz = 60;

    // Called when a frame has been presented at `now`: how long to wait before the next frame
    // begins so that frames begin one period of `rateHz` (0: kDefaultRateHz) apart. A frame that
    // took a period or longer gets no wait, and the schedule starts again from it, so a slow
    // frame is never followed by a wait.
    Clock::duration Delay(Clock::time_point now, uint32_t rateHz);

private:
    bool started_ = false;
    Clock::time_point lastStart_{};  // when the frame just presented was due to begin
};

}  // namespace hv
