// All state of the access library in one place, with the three entry points.
// The exports use one process-wide instance; tests run their own instances
// against a fake platform.
#pragma once

#include "command_exchange.h"
#include "device_finder.h"
#include "parallel_port.h"
#include "pipe_table.h"
#include "platform.h"
#include "setup_binding.h"
#include "usb_device_info.h"

namespace zdx {

class Library {
  public:
    explicit Library(const PlatformOps& ops);
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    int get_usb_device_info(const DeviceInfoArgs& args);
    int cal_command(int function, const char* serial, char* buffer, int* value);
    int command_lpt(int action, int port_number);

    const SetupBinding& binding() const { return binding_; }
    const PipeTable& pipes() const { return pipes_; }
    const ParallelPort& parallel_port() const { return port_; }

  private:
    SetupBinding binding_;
    DeviceFinder finder_;
    UsbDeviceInfo device_info_;
    PipeTable pipes_;
    CommandExchange exchange_;
    ParallelPort port_;
};

}  // namespace zdx
