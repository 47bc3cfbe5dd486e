// The program's view of the access library: the presence probe, discovery and
// one command exchange. The library itself is bound by name at its first call.
#pragma once

#include <string>

#include "calibrator_library.h"

namespace q270 {

using UsbDeviceInfo = zdx::DeviceInfo;

class UsbAccess {
  public:
    virtual ~UsbAccess() = default;
    // The harmless call CalCommand(ZDXUSBCAL_FN_PROBE, "", "", value); throws
    // zdx::LibraryMissing when the library cannot be bound.
    virtual void probe() = 0;
    // Discovery with the two filters (empty = no filter). Strings come back cut
    // to their returned lengths, "(null)" as empty.
    virtual UsbDeviceInfo deviceInfo(const std::string& serialFilter,
                                     const std::string& idFilter) = 0;
    // CalCommand(ZDXUSBCAL_FN_USB, serial, line, value): line in, answer (line
    // feed included) out. Returns the library result.
    virtual int exchange(const std::string& serial, std::string& line) = 0;
};

// The access library of this process.
class LibraryUsbAccess : public UsbAccess {
  public:
    void probe() override;
    UsbDeviceInfo deviceInfo(const std::string& serialFilter, const std::string& idFilter) override;
    int exchange(const std::string& serial, std::string& line) override;
};

}  // namespace q270
