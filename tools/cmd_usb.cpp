// list and send: the access library's discovery and command exchange.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "calibrator_library.h"
#include "commands.h"
#include "usb_devices.h"

namespace zdxtool {

namespace {

constexpr int kSetupMissing = -6003;
// The longest command the library sends.
constexpr std::size_t kLongestCommand = 90;

const char* exchangeMeaning(int result) {
    switch (result) {
        case 0:
            return "answer received";
        case -1:
            return "command longer than 90 characters; nothing was sent";
        case -2:
            return "no calibrator with this serial number (answer pipe not opened)";
        case -3:
            return "the command pipe cannot be opened";
        case -4:
            return "the command could not be written within 40 ms";
        case -5:
            return "no usable answer (none, or not shorter than the command)";
        case -99:
            return "function code not known to the library";
        default:
            return "result not known";
    }
}

}  // namespace

void Complain(const std::string& text) {
    std::fprintf(stderr, "zdx-q270: %s\n", text.c_str());
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + ch;
        else if (c < 0x20 || c > 0x7E) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += ch;
    }
    return out + "\"";
}

int CmdList(const Arguments& args) {
    if (!args.empty()) {
        Complain("list takes no arguments");
        return kExitUsage;
    }
    DeviceList list;
    try {
        list = ListCalibrators();
    } catch (const zdx::LibraryMissing&) {
        Complain("the access library ZDXUSBCAL cannot be bound");
        return kExitFailed;
    }
    if (list.count == kSetupMissing) {
        Complain("the platform's USB setup library cannot be bound (-6003)");
        return kExitFailed;
    }
    if (list.devices.empty()) {
        Complain("no calibrator on USB");
        return kExitFailed;
    }
    std::printf("serial\tstring4\tstring5\tstring6\n");
    for (const Discovery& d : list.devices)
        std::printf("%s\t%s\t%s\t%s\n", d.serial.c_str(), d.string4.c_str(), d.string5.c_str(),
                    d.string6.c_str());
    if (static_cast<int>(list.devices.size()) < list.count)
        Complain(std::to_string(list.count) + " calibrators enumerated, " +
                 std::to_string(list.devices.size()) +
                 " listed: the others' serial numbers cannot be told apart");
    return kExitDone;
}

int CmdSend(const Arguments& args) {
    if (args.size() != 2) {
        Complain("usage: send SERIAL LINE");
        return kExitUsage;
    }
    const std::string& serial = args[0];
    const std::string& line = args[1];
    // The answer comes back in the command's own buffer: room for the longest
    // answer the library may read, whatever the command's length.
    std::vector<char> buffer(std::max(line.size(), kLongestCommand) + 16, '\0');
    std::memcpy(buffer.data(), line.data(), line.size());
    int received = 0;
    int result = 0;
    try {
        result = zdx::CalibratorLibrary::instance().CalCommand(0, serial.c_str(), buffer.data(),
                                                               &received);
    } catch (const zdx::LibraryMissing&) {
        Complain("the access library ZDXUSBCAL cannot be bound");
        return kExitFailed;
    }
    const std::string answer =
        result == 0 ? std::string(buffer.data(), ::strnlen(buffer.data(), buffer.size() - 1))
                    : std::string();
    std::printf("answer: %s\n", Quoted(answer).c_str());
    if (result == 0 || result == -5) std::printf("received: %d\n", received);
    std::printf("result: %d (%s)\n", result, exchangeMeaning(result));
    return result == 0 ? kExitDone : kExitFailed;
}

}  // namespace zdxtool
