// The PC side of the parallel ports: the port I/O driver that grants access,
// the two ports' registers, and a Q610 that may hang on either port.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "q610_model.h"

namespace zdx::bench {

class TrafficLog;

enum class PortDriver { Present, Missing, Refusing };

struct LptRegisterValues {
    std::uint8_t data = 0, status = 0, control = 0;
};

class LptPort {
  public:
    // An installed port; with a Q610 when `q610` is given.
    LptPort(bool present, std::unique_ptr<Q610Model> q610);

    bool present() const { return present_; }
    Q610Model* q610() const { return q610_.get(); }

    // Register offsets: 0 data, 1 status, 2 control, 3..7 unused, 8 extended.
    std::uint8_t in(int offset) const;
    void out(int offset, std::uint8_t value);
    LptRegisterValues registers() const;

  private:
    std::uint8_t status() const;

    bool present_;
    std::unique_ptr<Q610Model> q610_;
    std::uint8_t data_ = 0;
    std::uint8_t control_ = 0xCC;
    std::uint8_t extended_ = 0;
};

class ParallelPorts {
  public:
    ParallelPorts();

    void setDriver(PortDriver driver) { driver_ = driver; }
    PortDriver driver() const { return driver_; }
    // Port 0 = LPT1 (0x378), 1 = LPT2 (0x278).
    void setPort(int index, std::unique_ptr<LptPort> port);
    LptPort* port(int index) const;

    // The driver's one request: 16 bytes (request, first, last, 0). False when refused.
    bool portAccess(const std::string& request);

    // The driver as a program meets it, each step in the traffic log (device
    // "PORTIO"): opening it as `handle` (false when it is not installed), a
    // device-control request on that handle (false when refused), closing it.
    bool openDriver(std::uint32_t handle, TrafficLog& log) const;
    bool driverRequest(std::uint32_t handle, std::uint32_t code, const std::string& in,
                       TrafficLog& log);
    void closeDriver(std::uint32_t handle, TrafficLog& log) const;

    std::uint8_t in(std::uint16_t address) const;
    // A program's port input: in(), with the value read in the traffic log.
    std::uint8_t read(std::uint16_t address, TrafficLog& log) const;
    void out(std::uint16_t address, std::uint8_t value, TrafficLog& log);

  private:
    // The port and register offset of an address; false when it is no port's.
    static bool decode(std::uint16_t address, int& port, int& offset);

    PortDriver driver_ = PortDriver::Present;
    std::array<std::unique_ptr<LptPort>, 2> ports_;
};

}  // namespace zdx::bench
