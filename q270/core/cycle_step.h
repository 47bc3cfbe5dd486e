// Every step of a timer cycle stands on its own: an error in one is skipped
// and the cycle goes on with the next.
#pragma once

#include <exception>

namespace q270 {

template <typename Step>
void guarded(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

}  // namespace q270
