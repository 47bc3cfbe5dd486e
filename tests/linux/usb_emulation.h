// Emulated calibrators on an emulated USB bus, for the library's linux
// backend: umockdev provides the sysfs and device nodes, and each device's
// usbdevfs requests (URBs, interface claims, kernel-driver requests) are
// answered here by a small model of a calibrator.
//
// Runs only inside umockdev's wrapper (umockdev-wrapper <test>).
#pragma once

#include <umockdev.h>

#include <cstddef>
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
    // `packet`: the bulk endpoints' largest packet (512 at high speed, 64 at full).
    EmulatedCalibrator(std::uint16_t vendor, std::uint16_t product, std::string serial,
                       std::uint16_t packet);
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
    // Every bulk IN transfer ends in an overflow (EOVERFLOW: the device sent
    // more than a packet's room, "babble").
    void set_babble(bool babble);
    // From now on every request fails as on an unplugged device.
    void unplug();
    // The device goes away right after it has taken the next command.
    void unplug_after_next_command();
    // A kernel driver bound to the interface: a claim fails (EBUSY) until it
    // is detached.
    void set_kernel_driver(bool bound);
    // Another process holds the interface: every claim fails (EBUSY).
    void set_interface_held(bool held);
    // The bulk IN (or OUT) endpoint halts at its next transfer and fails
    // every transfer (EPIPE) until the host clears the halt.
    void stall_next(bool in);
    enum class WriteFault { None, Refused, Short };
    // Bulk OUT transfers fail (EPROTO) or take only half of their bytes.
    void set_write_fault(WriteFault fault);
    // Each bulk IN transfer carries at most this many bytes of an answer.
    void set_answer_chunk(std::size_t bytes);
    // The device is back (after unplug()): a fresh device at the same place.
    void plug_back();

    struct Counters {
        int bulk_in_submits = 0;
        int claims = 0;
        int releases = 0;
        int detaches = 0;
        int attaches = 0;
        int clear_halts = 0;
        int zero_length_outs = 0;
        int language_requests = 0;
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
    std::uint16_t packet_;
    Bytes device_descriptor_;
    Bytes languages_;
    std::map<std::uint8_t, Bytes> strings_;
    std::function<std::string(const std::string&)> answer_;
    std::string line_;
    Bytes pending_answer_;
    bool flood_ = false;
    bool babble_ = false;
    bool gone_ = false;
    bool gone_after_command_ = false;
    bool kernel_driver_ = false;
    bool interface_held_ = false;
    bool stall_next_[2] = {false, false};  // OUT, IN
    bool halted_[2] = {false, false};
    WriteFault write_fault_ = WriteFault::None;
    std::size_t answer_chunk_ = 0;  // 0: as much as the transfer takes
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

    EmulatedCalibrator& add(std::uint16_t vendor, std::uint16_t product, const std::string& serial,
                            std::uint16_t packet = 512);
    // Unplugs a device: it fails every request from now on, and the kernel's
    // removal event goes out (libusb takes it in on its own thread).
    void unplug(EmulatedCalibrator& device);
    // Plugs an unplugged device in again at its port; the kernel's event goes out.
    void replug(EmulatedCalibrator& device);
    // The root of the emulated file system (sysfs, /dev, /proc).
    std::string root() const;
    UMockdevTestbed* testbed() { return testbed_; }

  private:
    struct Slot {
        std::unique_ptr<EmulatedCalibrator> device;
        UMockdevIoctlBase* handler = nullptr;
        std::string syspath;
        std::string devnode;
        std::string description;  // umockdev's text of the device
    };
    UMockdevTestbed* testbed_ = nullptr;
    std::vector<Slot> slots_;
};

}  // namespace zdx::testing
