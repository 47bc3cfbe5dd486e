// A clock whose pauses end at once while real waits still take their time:
// now() is the steady clock plus every pause skipped so far. A linearity run
// on it is as fast as its instruments answer.
#pragma once

#include <chrono>

#include "clock.h"

namespace q270::testing {

class SkipClock : public Clock {
  public:
    time_point now() const override { return std::chrono::steady_clock::now() + skipped_; }
    void sleepUntil(time_point deadline) override {
        const time_point current = now();
        if (deadline > current) skipped_ += deadline - current;
        ++sleeps;
    }
    duration skipped() const { return skipped_; }
    int sleeps = 0;

  private:
    duration skipped_{};
};

}  // namespace q270::testing
