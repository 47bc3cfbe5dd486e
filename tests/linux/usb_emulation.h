// Emulated calibrators on an emulated USB bus, for the library's linux
// backend: umockdev provides the sysfs and device nodes, and each device's
// usbdevfs requests (URBs, interface claims, kernel-driver requests) are
// answered here by a small model of a calibrator.
//
// Runs only inside umockdev's wrapper (umockdev-wrapper <test>).
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zdx::testing {

using Bytes = std::vector<std::uint8_t>;

// A string descriptor as a device sends it: length byte, type 3, UTF-16LE.
Bytes string_descriptor(const std::string& text);

struct EmulatedUrb;

class EmulatedCalibrator {
  public:
    EmulatedCalibrator(std::uint16_t vendor, std::uint16_t product, std::string serial);
    ~EmulatedCalibrator();

    // Everything below may be changed while the library runs; the model
    // is shared with umockdev's request thread.
    void set_string(std::uint8_t index, Bytes descriptor);
    void set_device_descriptor(Bytes descriptor);
    void set_languages(Bytes descriptor);
    // The answer to one command line (without its line feed); "" = silence.
    void set_answerer(std::function<std::string(const std::string&)> answer);
    // Answers every bulk IN request with a full buffer of 'x'.
    void set_flood(bool flood);
    // From now on every request fails as on an unplugged device.
    void unplug();
    // The device goes away right after it has taken the next command.
    void unplug_after_next_command();
    void set_kernel_driver(bool bound);

    struct Counters {
        int bulk_in_submits = 0;
        int claims = 0;
        int releases = 0;
        int detaches = 0;
        int attaches = 0;
        std::vector<std::uint16_t> string_languages;  // wIndex of each string request
        std::vector<std::string> commands;            // lines received
        std::uint16_t longest_string_request = 0;
    };
    Counters counters();

    std::uint16_t vendor() const { return vendor_; }
    std::uint16_t product() const { return product_; }
    Bytes sysfs_descriptors() const;

    // umockdev's request thread.
    gboolean handle(UMockdevIoctlClient* client);
    void vanished(UMockdevIoctlClient* client);

  private:
    // The URBs of one open file of the device node.
    struct Connection {
        std::deque<std::shared_ptr<EmulatedUrb>> waiting_in;  // bulk IN without data yet
        std::deque<std::shared_ptr<EmulatedUrb>> done;        // ready to be reaped
    };
    void drop(Connection& connection);
    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    Bytes control_answer(const std::uint8_t* setup, int& status);
    void complete_pending_in(Connection& connection);

    std::mutex lock_;
    std::uint16_t vendor_, product_;
    Bytes device_descriptor_;
    Bytes languages_;
    std::map<std::uint8_t, Bytes> strings_;
    std::function<std::string(const std::string&)> answer_;
    std::string line_;
    Bytes pending_answer_;
    bool flood_ = false;
    bool gone_ = false;
    bool gone_after_command_ = false;
    bool kernel_driver_ = false;
    Counters counters_;
    std::map<UMockdevIoctlClient*, Connection> connections_;
};

// The bus: a root hub and calibrators on its ports 1, 2, ...
class EmulatedUsbBus {
  public:
    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    EmulatedCalibrator& add(std::uint16_t vendor, std::uint16_t product, const std::string& serial);
    // Unplugs a device: it fails every request from now on, and the kernel's
    // removal event goes out (libusb takes it in on its own thread).
    void unplug(EmulatedCalibrator& device);
    // The root of the emulated file system (sysfs, /dev, /proc).
    std::string root() const;
    UMockdevTestbed* testbed() { return testbed_; }

  private:
    struct Slot {
        std::unique_ptr<EmulatedCalibrator> device;
        UMockdevIoctlBase* handler = nullptr;
        std::string syspath;
    };
    UMockdevTestbed* testbed_ = nullptr;
    std::vector<Slot> slots_;
};

}  // namespace zdx::testing
