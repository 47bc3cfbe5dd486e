// Scenario files: which devices are where, with which strings and faults.
// The format is described in docs/bench.md.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "parallel_ports.h"
#include "serial_ports.h"
#include "usb_device.h"

namespace zdx::bench {

struct LptSetup {
    bool present = false;
    bool q610 = false;
    bool remote = true;
};

// A device that goes away or comes back by itself, at a time after loading.
struct TimedPlug {
    std::chrono::milliseconds after{0};
    std::string serial;
    bool plugged = false;
};

// Everything a scenario decides, built and ready to be put on the bench.
struct Scenario {
    std::uint32_t osFamily = 2;
    PortDriver driver = PortDriver::Present;
    std::vector<std::shared_ptr<UsbDevice>> usb;
    std::array<SerialDevice, kComPorts> serial;  // index 0 = COM1
    std::array<LptSetup, 2> lpt;
    std::vector<TimedPlug> timedPlugs;
};

// Parses scenario JSON text. Returns false with a message for text that is not
// a valid scenario; `out` is then unspecified.
bool parseScenario(const std::string& json, Scenario& out, std::string& error);

// The scenario of a bench started without one: a Q270 (with a divider of
// known deviations) and a Q610 on USB, a multimeter on COM1 wired to that
// Q270, a Q270 on COM2, a Q610 on LPT1, the driver present, the NT family.
const char* defaultScenarioJson();

}  // namespace zdx::bench
