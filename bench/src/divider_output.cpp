#include "divider_output.h"

namespace zdx::bench {

void DividerOutput::select(int number, Clock::time_point at) {
    changes_.push_back({at, number});
    if (changes_.size() > kKept) {
        before_ = changes_.front().number;
        changes_.pop_front();
    }
}

int DividerOutput::shownAt(Clock::time_point t, Clock::duration settle) const {
    for (auto it = changes_.rbegin(); it != changes_.rend(); ++it)
        if (it->at + settle <= t) return it->number;
    return before_;
}

}  // namespace zdx::bench
