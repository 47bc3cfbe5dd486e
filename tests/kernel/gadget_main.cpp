// zdx-usb-gadget: one of the bench's USB devices as a real USB gadget (needs
// root, configfs, FunctionFS and a UDC, as in the kernel test guest).
//   zdx-usb-gadget --name NAME --udc UDC --kind Q270|Q610|KX --serial SERIAL
//                  [--fault NAME]... [--log FILE] [--meter-udc UDC [--pull-meter-after N]]
// Faults: the bench's answer faults (silent, late, garbage, overlong, no_lf)
// and those of a wire: halt (the answer pipe halts before each answer), drop
// (the device leaves the bus 50 ms after taking a command, unanswered), deaf
// (the command pipe never takes anything), full_packet (every answer fills
// exactly one packet), no_zlp (no zero-length packet after such an answer).
// Prints "ready" when the gadget is bound; --log appends every line in and
// out to FILE, as the bench's traffic log does. --meter-udc (a Q270 only)
// also puts the bench's multimeter, reading this Q270's output, behind a USB
// serial adapter: a second gadget, NAME + "m", on that UDC;
// --pull-meter-after pulls that adapter right after the reply to the N-th
// reading. On SIGTERM or SIGINT the gadgets leave the bus and the program ends.
#include <sys/mman.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "calibrator_gadget.h"
#include "interface_module.h"
#include "meter_gadget.h"
#include "q270_model.h"
#include "q610_model.h"

namespace {

using namespace zdx;

constexpr std::uint16_t kVendor = 0x1209;

struct Kind {
    const char* name;
    std::uint16_t product;
    const char* string5;
    const char* id;
};
constexpr Kind kKinds[] = {{"Q270", 0x0270, "Q270 Calibrator", "Q270S9 V1.18"},
                           {"Q610", 0x0610, "Q610 Calibrator", "Q610 V2.03"},
                           {"KX", 0x0D60, "NVQ+KX Interface", "KX V1.0"}};

std::unique_ptr<bench::DeviceModel> makeModel(const std::string& kind, const std::string& serial) {
    if (kind == "Q270") {
        bench::Q270Config config;
        config.serial = serial;
        return std::make_unique<bench::Q270Model>(config);
    }
    if (kind == "Q610") return std::make_unique<bench::Q610Model>();
    bench::Q270Config behind;
    behind.serial = "Q270S9-0002";
    return std::make_unique<bench::InterfaceModule>(std::make_unique<bench::Q610Model>(),
                                                    std::make_unique<bench::Q270Model>(behind));
}

int usage() {
    std::fprintf(stderr,
                 "usage: zdx-usb-gadget --name NAME --udc UDC --kind Q270|Q610|KX --serial S "
                 "[--fault NAME]... [--log FILE] [--meter-udc UDC [--pull-meter-after N]]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    gadget::GadgetSetup setup;
    std::string kindName, serial, logFile, meterUdc;
    int pullAfter = 0;
    std::set<bench::Fault> faults;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--name") {
            setup.name = value;
        } else if (option == "--udc") {
            setup.udc = value;
        } else if (option == "--kind") {
            kindName = value;
        } else if (option == "--serial") {
            serial = value;
        } else if (option == "--log") {
            logFile = value;
        } else if (option == "--meter-udc") {
            meterUdc = value;
        } else if (option == "--pull-meter-after") {
            pullAfter = std::atoi(value.c_str());
        } else if (option == "--fault" && value == "halt") {
            setup.wire.haltAnswerPipe = true;
        } else if (option == "--fault" && value == "drop") {
            setup.wire.dropAfterCommand = true;
        } else if (option == "--fault" && value == "deaf") {
            setup.wire.deaf = true;
        } else if (option == "--fault" && value == "full_packet") {
            setup.wire.fullPacketAnswer = true;
        } else if (option == "--fault" && value == "no_zlp") {
            setup.wire.noZeroLengthPacket = true;
        } else if (option == "--fault" && bench::faultFromName(value)) {
            faults.insert(*bench::faultFromName(value));
        } else {
            return usage();
        }
    }
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (kindName == k.name) kind = &k;
    if (argc % 2 == 0 || kind == nullptr || setup.name.empty() || setup.udc.empty() ||
        serial.empty() || (!meterUdc.empty() && kindName != "Q270")) {
        return usage();
    }
    setup.vendor = kVendor;
    setup.product = kind->product;

    auto device = std::make_shared<bench::UsbDevice>(serial, makeModel(kind->name, serial));
    device->setString(4, "ZDX");
    device->setString(5, kind->string5);
    device->setString(6, kind->id);
    device->faults() = faults;

    // The serving threads must not take the signals that end the program.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGINT);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);

    // A device answers in time: no page of ours is read over 9p in the middle
    // of an exchange.
    ::mlockall(MCL_CURRENT | MCL_FUTURE);
    gadget::CalibratorGadget gadget(setup, device);
    if (!logFile.empty() && !gadget.logTo(logFile)) return 1;
    if (!gadget.start()) return 1;
    std::unique_ptr<bench::MeterModel> meter;
    std::unique_ptr<gadget::MeterGadget> adapter;
    if (!meterUdc.empty()) {
        auto& q270 = dynamic_cast<bench::Q270Model&>(device->model());
        bench::MeterConfig config;
        config.calibrator = serial;
        meter = std::make_unique<bench::MeterModel>(config, bench::MeterModel::Clock::now());
        meter->setInput([&q270](bench::MeterModel::Clock::time_point t,
                                bench::MeterModel::Clock::duration settle) {
            return q270.outputVolts(t, settle);
        });
        adapter = std::make_unique<gadget::MeterGadget>(setup.name + "m", meterUdc, *meter,
                                                        gadget.modelLock(), pullAfter);
        if (!adapter->start()) return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    int signal = 0;
    sigwait(&ending, &signal);
    if (adapter) adapter->unbind();
    gadget.unbind();
    // The serving threads stay blocked in their endpoints: end without them.
    std::fflush(stderr);
    _exit(0);
}
