// One calibrator (or interface module) on the virtual USB bus, as its
// function driver presents it: a path, descriptors, and two pipes.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "device_model.h"
#include "faults.h"

namespace zdx::bench {

class TrafficLog;

class UsbDevice {
  public:
    using Clock = std::chrono::steady_clock;

    UsbDevice(std::string serial, std::unique_ptr<DeviceModel> model);

    const std::string& serial() const { return serial_; }
    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    DeviceModel& model() { return *model_; }

    // Descriptor strings 4, 5 and 6.
    void setString(int index, std::string text);
    const std::string& string(int index) const;
    void setSerialIndex(std::uint8_t index) { serialIndex_ = index; }
    void setIds(std::uint16_t vendor, std::uint16_t product);

    // A device is reachable while it is plugged in and still part of the bench.
    bool reachable() const { return plugged_ && attached_; }
    bool plugged() const { return plugged_; }
    void setPlugged(bool plugged);
    void detach();
    // Changes whenever the device goes away: handles opened before then fail.
    std::uint32_t generation() const { return generation_; }

    std::set<Fault>& faults() { return faults_; }
    bool has(Fault f) const { return faults_.count(f) != 0; }

    // The two device-control requests of the driver. Returns nothing when refused.
    std::optional<std::string> deviceDescriptor() const;
    std::optional<std::string> stringDescriptor(std::string_view request) const;

    // Bytes written to the command pipe; every complete line goes to the model
    // and its answer is queued for the answer pipe. Returns the bytes taken:
    // all of them, or one less with the short-write fault.
    std::size_t writeCommand(std::string_view bytes, TrafficLog& log, Clock::time_point now);
    // How long a command pipe write holds its call (the slow-write fault).
    std::chrono::milliseconds writeDelay() const;
    // Takes up to `max` answer bytes that are due by `now`.
    std::string takeAnswer(std::size_t max, Clock::time_point now);
    // When the next queued answer becomes due, if any is queued.
    std::optional<Clock::time_point> nextDue() const;

  private:
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };

    std::string describe(std::string_view text, bool applyStringFaults) const;

    std::string serial_;
    std::unique_ptr<DeviceModel> model_;
    std::string path_;
    std::array<std::string, 3> strings_;
    std::uint8_t serialIndex_ = 3;
    std::uint16_t vendor_ = 0x2F5A;
    std::uint16_t product_ = 0x0270;
    bool plugged_ = true;
    bool attached_ = true;
    std::uint32_t generation_ = 0;
    std::set<Fault> faults_;
    std::string lineIn_;
    std::deque<Pending> answers_;
};

// The interface path the driver registers for a device.
std::string usbInterfacePath(std::uint16_t vendor, std::uint16_t product,
                             const std::string& serial);

}  // namespace zdx::bench
