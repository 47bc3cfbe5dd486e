// What the calibrator's output terminals show over time while step lines
// switch the divider: each new selection shows only once it has settled.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>

namespace zdx::bench {

class DividerOutput {
  public:
    using Clock = std::chrono::steady_clock;

    // From `at` on, resistor `number` (0: none) is switched to the output.
    void select(int number, Clock::time_point at);
    // The latest selection, settled or not (0: none yet).
    int selected() const { return changes_.empty() ? before_ : changes_.back().number; }

    // The resistor shown at `t` when a selection needs `settle` to show: the
    // newest one made at least `settle` before `t`. Until then the output
    // keeps the previous value; it never shows a value in between.
    int shownAt(Clock::time_point t, Clock::duration settle) const;

  private:
    struct Change {
        Clock::time_point at;
        int number = 0;
    };
    // Older changes than these have long settled; only the newest counts.
    static constexpr std::size_t kKept = 8;

    std::deque<Change> changes_;
    int before_ = 0;  // the selection before the oldest change kept
};

}  // namespace zdx::bench
