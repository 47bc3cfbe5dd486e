// Access to the PC parallel ports LPT1 and LPT2: opening and closing access
// (CommandLPT) and the register functions 1 to 4 of CalCommand.
#pragma once

#include <cstdint>

#include "constants.h"
#include "platform.h"

namespace zdx {

class ParallelPort {
  public:
    explicit ParallelPort(const PlatformOps& ops) : ops_(ops) {}

    // Action 0 opens access to port 0 (LPT1) or 1 (LPT2), action 1 closes it.
    // Every call first leaves no port open. Results kOk, kLptBadPort,
    // kLptNoDriver, kLptRefused.
    int command(int action, int port_number);

    // CalCommand functions 1 to 4 on `value`. kOk or kLptNotOpen.
    int registers(int function, int* value);

    // 0 = none, 1 = LPT1, 2 = LPT2.
    std::uint16_t open_port() const { return open_port_; }

  private:
    struct Port {
        std::uint16_t base;
        std::uint16_t extended;
    };
    static const Port& port(int index);
    bool request_ranges(std::uint32_t request, const Port& port);

    const PlatformOps& ops_;
    std::uint16_t open_port_ = 0;
    PlatformHandle driver_ = kInvalidHandle;
};

}  // namespace zdx
