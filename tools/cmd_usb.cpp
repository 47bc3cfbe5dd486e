// list and send: the access library's discovery and command exchange, and
// one line over a COM port, where an answer of any length comes back.
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "application.h"
#include "calibrator_library.h"
#include "commands.h"
#include "options.h"
#include "serial_port.h"
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

// The Q270's serial line: its settings, and how long an answer may take.
constexpr const char* kCalibratorLineSettings = "9600,E,8,1";
constexpr int kAnswerMs = 300;

// One line to the unit on COM port `number` and its answer line, as it came.
int sendOverCom(int number, const std::string& line) {
    q270::SerialPort port{QString::fromLatin1(q270::kQ270Application)};
    port.setPortNumber(number);
    port.setSettings(QString::fromLatin1(kCalibratorLineSettings));
    port.setOpen(true);
    if (!port.isOpen()) {
        Complain("Error accessing COM" + std::to_string(number) + " (" +
                 port.deviceName(number).toStdString() + ": " + port.errorString().toStdString() +
                 ")");
        return kExitFailed;
    }
    port.writeText(line + "\n");
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kAnswerMs);
    while (answer.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0 || !port.waitForData(int(left))) break;
        answer += port.readWaiting();
    }
    port.close();
    std::printf("answer: %s\n", Quoted(answer).c_str());
    if (answer.empty()) {
        Complain("no answer on COM" + std::to_string(number) + " within " +
                 std::to_string(kAnswerMs) + " ms");
        return kExitFailed;
    }
    return kExitDone;
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
    const Options options(args, {}, {"--com"});
    if (!options.error().empty()) return UsageError("send", options.error());
    if (const auto com = options.value("--com")) {
        const int number = std::atoi(com->c_str());
        if (number < 1 || number > 99 || std::to_string(number) != *com)
            return UsageError("send", "--com \"" + *com + "\" is no COM port number 1..99");
        if (options.positionals().size() != 1)
            return UsageError("send", "with --com give one command line (" +
                                          std::to_string(options.positionals().size()) +
                                          " given; quote a line with blanks)");
        return sendOverCom(number, options.positionals()[0]);
    }
    if (options.positionals().size() != 2)
        return UsageError("send", "give a serial number and one command line (" +
                                      std::to_string(options.positionals().size()) +
                                      " given; quote a line with blanks)");
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
    // The library's rule, not a silent unit: the answer came, but it would
    // not have fitted the command's own buffer, so it was not handed back.
    if (result == ZDXUSBCAL_CMD_NO_ANSWER && received > 0)
        Complain("the unit answered " + std::to_string(received) +
                 " bytes, but the access library returns an answer only when it is shorter than "
                 "the command (" +
                 std::to_string(options.positionals()[1].size()) +
                 " characters here); the command was delivered. Its answer can be read over "
                 "the unit's serial line: zdx-q270 send --com N " +
                 Quoted(options.positionals()[1]));
    return result == ZDXUSBCAL_OK ? kExitDone : kExitFailed;
}

}  // namespace zdxtool
