// One of the bench's USB devices (a Q270, a Q610 or an interface module, with
// its faults) as a real USB gadget: a composite device made through configfs
// with one FunctionFS function, bound to a UDC of the dummy host controller.
// Commands arrive on the bulk OUT endpoint; the model's answers leave on the
// bulk IN endpoint when they are due, a zero-length packet after one that
// fills its last packet. An answer the host does not fetch stays queued in
// the endpoint for its next read, as on a real device.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "traffic_log.h"
#include "usb_device.h"

namespace zdx::gadget {

// Faults that only a device on a real wire has.
struct WireFaults {
    bool haltAnswerPipe = false;      // the IN endpoint halts before each answer
    bool dropAfterCommand = false;    // leaves the bus (unbinds) 50 ms after taking a command
    bool deaf = false;                // never takes what the host sends
    bool fullPacketAnswer = false;    // every answer fills exactly one packet
    bool noZeroLengthPacket = false;  // nothing ends an answer that fills its last packet
};

struct GadgetSetup {
    std::string name;  // configfs and FunctionFS instance name
    std::string udc;   // "dummy_udc.N"
    std::uint16_t vendor = 0, product = 0;
    WireFaults wire;
};

class CalibratorGadget {
  public:
    CalibratorGadget(GadgetSetup setup, std::shared_ptr<bench::UsbDevice> device);
    CalibratorGadget(const CalibratorGadget&) = delete;
    CalibratorGadget& operator=(const CalibratorGadget&) = delete;

    // Appends every line in and out to this file. False when it cannot be opened.
    bool logTo(const std::string& path) { return log_.openFile(path); }
    // Makes the gadget, starts serving it on threads of its own that live as
    // long as the process, and binds it to its UDC. False with a message on
    // stderr.
    bool start();
    // Takes the gadget off its UDC: the host sees the device leave.
    void unbind();
    // Held while the device's model changes.
    std::mutex& modelLock() { return lock_; }

  private:
    bool configure();
    bool openFunction();
    void events();
    void receive();
    void send();
    void setEnabled(bool enabled);

    GadgetSetup setup_;
    std::shared_ptr<bench::UsbDevice> device_;
    bench::TrafficLog log_;
    std::string gadgetDir_, mountDir_;
    int ep0_ = -1, out_ = -1, in_ = -1;
    std::mutex lock_;
    std::condition_variable changed_;
    bool enabled_ = false;
    std::uint32_t generation_ = 0;  // counts the times the host took the function
};

}  // namespace zdx::gadget
