// Hot paths of the access library on the virtual bench: one command exchange
// (1 and 32 devices present) and one discovery over 32 devices. They print
// figures; they do not pass or fail on time.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "bench_session.h"
#include "benchmark_failure.h"

namespace {

using GetInfoFn = int (*)(int*, char*, int*, char*, int*, char*, int*, char*, int*);
using CalCommandFn = int (*)(int, const char*, char*, int*);

std::unique_ptr<zdx::bench::BenchSession> gBench;
GetInfoFn gGetInfo = nullptr;
CalCommandFn gCalCommand = nullptr;

std::string devices(int count) {
    return R"({"usb_generate": [{"count": )" + std::to_string(count) +
           R"(, "kind": "Q270", "serial_prefix": "Q270S9-"}]})";
}

void exchangeWith(benchmark::State& state, int deviceCount) {
    gBench->loadScenario(devices(deviceCount));
    char serial[32];
    std::snprintf(serial, sizeof serial, "Q270S9-%04d", deviceCount);
    for (auto _ : state) {
        char buffer[32] = "K1A1,5,2,0";
        int value = 0;
        int r = gCalCommand(0, serial, buffer, &value);
        if (r != 0) zdx::benchmarks::Fail(state, "exchange failed");
        benchmark::DoNotOptimize(buffer);
    }
    gBench->clearTraffic();
}

void BM_ExchangeOneDevice(benchmark::State& state) {
    exchangeWith(state, 1);
}

// The device searched for is the last one: each exchange reads every serial.
void BM_ExchangeLastOf32Devices(benchmark::State& state) {
    exchangeWith(state, 32);
}

void BM_DiscoveryOver32Devices(benchmark::State& state) {
    gBench->loadScenario(devices(32));
    for (auto _ : state) {
        char serial[201] = {}, s4[201] = {}, s5[201] = {}, s6[201] = {};
        int count = 0, l1 = 0, l4 = 0, l5 = 0, l6 = 0;
        int r = gGetInfo(&count, serial, &l1, s4, &l4, s5, &l5, s6, &l6);
        if (r != 0 || count != 32) zdx::benchmarks::Fail(state, "discovery failed");
    }
}

BENCHMARK(BM_ExchangeOneDevice)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_ExchangeLastOf32Devices)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DiscoveryOver32Devices)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    gBench = std::make_unique<zdx::bench::BenchSession>("{}");
    gBench->exportEnvironment();
    void* lib = ::dlopen(ZDXUSBCAL_FILE, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 1;
    }
    gGetInfo = reinterpret_cast<GetInfoFn>(::dlsym(lib, "GetUSBDeviceInfo"));
    gCalCommand = reinterpret_cast<CalCommandFn>(::dlsym(lib, "CalCommand"));
    if (!gGetInfo || !gCalCommand) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    gBench.reset();
    return zdx::benchmarks::ExitStatus();
}
