// GetUSBDeviceInfo: choose a calibrator by two substring filters and report
// its serial number and string descriptors 4, 5 and 6.
#pragma once

#include "constants.h"
#include "device_finder.h"

namespace zdx {

// The nine arguments of GetUSBDeviceInfo, as the caller passed them.
struct DeviceInfoArgs {
    int* device_count;
    char* serial;
    int* serial_length;
    char* string4;
    int* string4_length;
    char* string5;
    int* string5_length;
    char* string6;
    int* string6_length;
};

class UsbDeviceInfo {
  public:
    explicit UsbDeviceInfo(DeviceFinder& finder) : finder_(finder) {}

    // Runs one discovery. Results: kOk, kInfoFailed (also when the setup
    // library cannot be bound or a pointer is null), kInfoNoDevice (also when
    // a filter does not fit its 104-byte field).
    int run(const DeviceInfoArgs& args);

  private:
    // Copies a filter into its field; false when it holds more than 103 characters.
    static bool take_filter(const char* text, char (&field)[kFilterField]);
    void clear_outputs(const DeviceInfoArgs& args);
    void describe(const DeviceInfoArgs& args, const DeviceRecord& record);

    DeviceFinder& finder_;
    char serial_filter_[kFilterField] = {};
    char ident_filter_[kFilterField] = {};
    int serial_capacity_ = kSerialCapacity;
    int string4_capacity_ = kStringCapacity;
    int string5_capacity_ = kStringCapacity;
    int string6_capacity_ = kStringCapacity;
};

}  // namespace zdx
