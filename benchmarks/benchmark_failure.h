// A benchmark that cannot do its work marks the program as failed, so that a
// benchmark broken by a change of the code it measures fails its CI run
// instead of printing figures of nothing.
#pragma once

#include <benchmark/benchmark.h>

namespace zdx::benchmarks {

inline bool& Broken() {
    static bool broken = false;
    return broken;
}

inline void Fail(benchmark::State& state, const char* why) {
    Broken() = true;
    state.SkipWithError(why);
}

// The program's exit status after the benchmarks ran.
inline int ExitStatus() {
    return Broken() ? 1 : 0;
}

}  // namespace zdx::benchmarks
