#include "clock.h"

#include <thread>

namespace q270 {

Clock::time_point SteadyClock::now() const {
    return std::chrono::steady_clock::now();
}

void SteadyClock::sleepUntil(time_point deadline) {
    // sleep_until may wake early on some platforms; the loop sleeps again rather than spinning.
    while (now() <= deadline)
        std::this_thread::sleep_until(deadline + std::chrono::microseconds(1));
}

SteadyClock& SteadyClock::instance() {
    static SteadyClock clock;
    return clock;
}

std::chrono::steady_clock::duration secondsToDuration(double seconds) {
    // Not-a-number and negative waits are no wait; absurd ones are held to a day.
    if (!(seconds > 0.0)) return std::chrono::steady_clock::duration::zero();
    if (seconds > 86400.0) seconds = 86400.0;
    // Whole microseconds: a float 0.02 s is 0.0199999996 s, and a wait must not end short of it.
    return std::chrono::round<std::chrono::microseconds>(std::chrono::duration<double>(seconds));
}

void Delay(Clock& clock, float seconds) {
    clock.sleepUntil(clock.now() + secondsToDuration(seconds));
}

}  // namespace q270
