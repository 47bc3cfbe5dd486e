#include "library.h"

#include "constants.h"

namespace zdx {

Library::Library(const PlatformOps& ops)
    : binding_(ops),
      finder_(ops, binding_),
      device_info_(finder_),
      pipes_(ops, binding_, finder_),
      exchange_(pipes_),
      port_(ops) {}

int Library::get_usb_device_info(const DeviceInfoArgs& args) {
    return device_info_.run(args);
}

int Library::cal_command(int function, const char* serial, char* buffer, int* value) {
    if (function < kFunctionUsb || function > kFunctionLast) return kCmdBadFunction;
    if (function == kFunctionUsb) return exchange_.run(serial, buffer, value);
    if (value == nullptr) return kCmdRefused;
    return port_.registers(function, value);
}

int Library::command_lpt(int action, int port_number) {
    return port_.command(action, port_number);
}

}  // namespace zdx
