// A zdx-usb-gadget process serving one of the bench's devices on a UDC of
// its own, for the tests in the kernel test guest; and waiting for the
// library to see a device come or go.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "zdx_library.h"

namespace zdx::testing {

class GadgetProcess {
  public:
    // Starts the gadget and waits until it is bound to its UDC (throws when
    // it does not get there). Each gadget of a process takes the next UDC.
    GadgetProcess(const std::string& kind, const std::string& serial,
                  const std::vector<std::string>& faults = {});
    ~GadgetProcess();
    GadgetProcess(const GadgetProcess&) = delete;
    GadgetProcess& operator=(const GadgetProcess&) = delete;

    const std::string& serial() const { return serial_; }
    // Takes the gadget off its UDC (the host sees the device leave) and binds
    // it again (the host sees a new device at the same place).
    void unplug();
    void replug();

  private:
    std::string serial_, name_, udc_;
    pid_t pid_ = -1;
};

// What a shell command prints on standard output, once it has ended.
std::string outputOf(const std::string& command);

// The kernel driver bound to the first interface of the USB device with this
// serial number: "" when none is, or no such device is there.
std::string interfaceDriver(const std::string& serial);

// Waits (up to 10 s) until discovery by this serial finds the device, or
// finds it no more. True when it did.
bool waitUntilSeen(ZdxLibrary& library, const std::string& serial, bool present);

}  // namespace zdx::testing
