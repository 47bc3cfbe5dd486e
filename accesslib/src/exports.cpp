// The three exports: thin C wrappers around the process-wide Library.
#include "library.h"
#include "platform.h"
#include "zdxusbcal.h"

namespace {

// The one instance of the process, on the backend chosen at first use.
zdx::Library& process_library() {
    static zdx::Library library(zdx::selected_platform());
    return library;
}

}  // namespace

extern "C" {

ZDXUSBCAL_API int ZDXUSBCAL_CALL GetUSBDeviceInfo(int* deviceCount, char* serial, int* serialLength,
                                                  char* string4, int* string4Length, char* string5,
                                                  int* string5Length, char* string6,
                                                  int* string6Length) {
    return process_library().get_usb_device_info({deviceCount, serial, serialLength, string4,
                                                  string4Length, string5, string5Length, string6,
                                                  string6Length});
}

ZDXUSBCAL_API int ZDXUSBCAL_CALL CalCommand(int function, const char* serial, char* buffer,
                                            int* value) {
    return process_library().cal_command(function, serial, buffer, value);
}

ZDXUSBCAL_API int ZDXUSBCAL_CALL CommandLPT(int action, int portNumber) {
    return process_library().command_lpt(action, portNumber);
}

}  // extern "C"
