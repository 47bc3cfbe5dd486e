#include "usb_access.h"

namespace q270 {

void LibraryUsbAccess::probe() {
    char empty[1] = {'\0'};
    int value = 0;
    zdx::CalibratorLibrary::instance().CalCommand(ZDXUSBCAL_FN_PROBE, "", empty, &value);
}

UsbDeviceInfo LibraryUsbAccess::deviceInfo(const std::string& serialFilter,
                                           const std::string& idFilter) {
    return zdx::discover(serialFilter, idFilter);
}

int LibraryUsbAccess::exchange(const std::string& serial, std::string& line) {
    return zdx::exchange(serial, line);
}

}  // namespace q270
