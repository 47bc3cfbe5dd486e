// list and send: the access library's discovery and command exchange.
#include <cstdio>

#include "calibrator_library.h"
#include "commands.h"
#include "options.h"
#include "tool_output.h"
#include "usb_devices.h"

namespace zdxtool {

namespace {

const char* exchangeMeaning(int result) {
    switch (result) {
        case ZDXUSBCAL_OK:
            return "answer received";
        case ZDXUSBCAL_CMD_REFUSED:
            return "command longer than 90 characters; nothing was sent";
        case ZDXUSBCAL_CMD_NO_ANSWER_PIPE:
            return "no calibrator with this serial number (answer pipe not opened)";
        case ZDXUSBCAL_CMD_NO_COMMAND_PIPE:
            return "the command pipe cannot be opened";
        case ZDXUSBCAL_CMD_WRITE_FAILED:
            return "the command could not be written within 40 ms";
        case ZDXUSBCAL_CMD_NO_ANSWER:
            return "no usable answer (none, or not shorter than the command)";
        case ZDXUSBCAL_CMD_BAD_FUNCTION:
            return "function code not known to the library";
        default:
            return "result not known";
    }
}

}  // namespace

int CmdList(const Arguments& args) {
    const Options options(args, {}, {});
    if (!options.error().empty()) return UsageError("list", options.error());
    if (!options.positionals().empty()) return UsageError("list", "takes no arguments");
    DeviceList list;
    try {
        list = ListCalibrators();
    } catch (const zdx::LibraryMissing&) {
        Complain("the access library ZDXUSBCAL cannot be bound");
        return kExitFailed;
    }
    if (list.count == ZDXUSBCAL_SETUP_MISSING) {
        ComplainSetupMissing();
        return kExitFailed;
    }
    if (list.devices.empty()) {
        Complain("no calibrator on USB");
        return kExitFailed;
    }
    std::printf("serial\tstring4\tstring5\tstring6\n");
    for (const zdx::DeviceInfo& d : list.devices)
        std::printf("%s\t%s\t%s\t%s\n", d.serial.c_str(), d.string4.c_str(), d.string5.c_str(),
                    d.string6.c_str());
    if (static_cast<int>(list.devices.size()) < list.count)
        Complain(std::to_string(list.count) + " calibrators enumerated, " +
                 std::to_string(list.devices.size()) +
                 " listed: the others' serial numbers cannot be told apart");
    return kExitDone;
}

int CmdSend(const Arguments& args) {
    const Options options(args, {}, {});
    if (!options.error().empty()) return UsageError("send", options.error());
    if (options.positionals().size() != 2)
        return UsageError("send", "give a serial number and one command line");
    const std::string& serial = options.positionals()[0];
    std::string line = options.positionals()[1];
    int received = 0;
    int result = ZDXUSBCAL_OK;
    try {
        result = zdx::exchange(serial, line, &received);
    } catch (const zdx::LibraryMissing&) {
        Complain("the access library ZDXUSBCAL cannot be bound");
        return kExitFailed;
    }
    // On a failure the buffer still holds the command: no answer to show.
    const std::string answer = result == ZDXUSBCAL_OK ? line : std::string();
    std::printf("answer: %s\n", Quoted(answer).c_str());
    if (result == ZDXUSBCAL_OK || result == ZDXUSBCAL_CMD_NO_ANSWER)
        std::printf("received: %d\n", received);
    std::printf("result: %d (%s)\n", result, exchangeMeaning(result));
    return result == ZDXUSBCAL_OK ? kExitDone : kExitFailed;
}

}  // namespace zdxtool
