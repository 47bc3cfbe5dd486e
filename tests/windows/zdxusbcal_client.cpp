// A console client of zdxusbcal.dll: binds it by name, as the programs do, and
// makes the calls they make, printing one line per call:
//   CommandLPT(1,9) = <result>
//   CalCommand(-1) = <result>
//   GetUSBDeviceInfo = <result> count <n> serial "<text>" ...
//   CalCommand(0,"PAP 4") = <result> value <n> buffer "<text>"
//   CommandLPT(0,0) = <result>
// Exit status 0 when the library was bound and all three exports found.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "zdxusbcal.h"

namespace {

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace

int main() {
    HMODULE module = LoadLibraryA("zdxusbcal.dll");
    if (module == nullptr) {
        std::printf("zdxusbcal.dll cannot be bound (error %lu)\n", GetLastError());
        return 1;
    }
    auto info = entry<decltype(&GetUSBDeviceInfo)>(module, "GetUSBDeviceInfo");
    auto command = entry<decltype(&CalCommand)>(module, "CalCommand");
    auto lpt = entry<decltype(&CommandLPT)>(module, "CommandLPT");
    if (info == nullptr || command == nullptr || lpt == nullptr) {
        std::printf("zdxusbcal.dll lacks an export\n");
        return 1;
    }

    // The two programs' probes.
    std::printf("CommandLPT(1,9) = %d\n", lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT_PROBE_PORT));
    int value = 0;
    std::printf("CalCommand(-1) = %d\n", command(ZDXUSBCAL_FN_PROBE, "", nullptr, &value));

    // Discovery with 200-byte buffers of NULs and lengths of 0.
    char serial[201] = {}, s4[201] = {}, s5[201] = {}, s6[201] = {};
    int count = 0, serial_length = 0, s4_length = 0, s5_length = 0, s6_length = 0;
    const int found =
        info(&count, serial, &serial_length, s4, &s4_length, s5, &s5_length, s6, &s6_length);
    std::printf(
        "GetUSBDeviceInfo = %d count %d serial \"%s\" string4 \"%s\" string5 \"%s\" "
        "string6 \"%s\"\n",
        found, count, serial, s4, s5, s6);

    char buffer[101] = "PAP 4";
    value = -1;
    const int exchanged = command(ZDXUSBCAL_FN_USB, serial, buffer, &value);
    std::printf("CalCommand(0,\"PAP 4\") = %d value %d buffer \"%s\"\n", exchanged,
                value, buffer);

    std::printf("CommandLPT(0,0) = %d\n", lpt(ZDXUSBCAL_LPT_OPEN, ZDXUSBCAL_LPT1));
    lpt(ZDXUSBCAL_LPT_CLOSE, ZDXUSBCAL_LPT1);
    return 0;
}
