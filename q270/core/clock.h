// The time source of waits and deadlines. Waits go through it so that long
// procedures (relay cleaning, Delay) can be tested without waiting.
#pragma once

#include <chrono>

namespace q270 {

class Clock {
  public:
    using time_point = std::chrono::steady_clock::time_point;
    using duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual time_point now() const = 0;
    // Sleeps until the deadline has passed; processes no window events.
    virtual void sleepUntil(time_point deadline) = 0;
};

// The steady clock of the machine: it never jumps during a wait.
class SteadyClock : public Clock {
  public:
    time_point now() const override;
    void sleepUntil(time_point deadline) override;

    static SteadyClock& instance();
};

// Waits the given seconds on the clock.
void Delay(Clock& clock, float seconds);

std::chrono::steady_clock::duration secondsToDuration(double seconds);

}  // namespace q270
