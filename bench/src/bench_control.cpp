// The bench's control commands: what tests and people at a shell use to
// change the bench while programs talk to it.
#include <cstdio>
#include <sstream>

#include "bench.h"
#include "interface_module.h"
#include "q270_model.h"

namespace zdx::bench {

namespace {

std::string error(const std::string& what) {
    return "error: " + what;
}

bool comNumber(const std::string& device, int& com) {
    if (device.size() != 4 || device.rfind("COM", 0) != 0) return false;
    com = device[3] - '0';
    return com >= 1 && com <= kComPorts;
}

bool lptNumber(const std::string& device, int& port) {
    if (device.size() != 4 || device.rfind("LPT", 0) != 0) return false;
    port = device[3] - '0';
    return port == 1 || port == 2;
}

}  // namespace

std::string Bench::control(const std::string& command, bool& stop) {
    std::istringstream words(command);
    std::string verb, arg1, arg2, arg3;
    words >> verb >> arg1 >> arg2 >> arg3;
    if (verb == "load") {
        std::string json = command.substr(command.find("load") + 4);
        std::string why;
        return load(json, why) ? "ok" : error(why);
    }
    if (verb == "stop") {
        stop = true;
        return "ok";
    }
    if (verb == "ping") return "pong";
    std::lock_guard<std::mutex> guard(lock_);
    applyTimedPlugs();
    if (verb == "env") return environment();
    if (verb == "stats") return stats();
    if (verb == "log") return log_.format();
    if (verb == "clear") {
        log_.clear();
        counters_ = {};
        return "ok";
    }
    if (verb == "devices") return describeDevices();
    if (verb == "unplug" || verb == "replug") return setPlugged(arg1, verb == "replug");
    if (verb == "takeaway") return takeAway(arg1);
    if (verb == "fault") return setFault(arg1, arg2);
    if (verb == "remote") return setRemote(arg1, arg2);
    if (verb == "lpt") return lptRegisters(arg1);
    if (verb == "condition") return setCondition(arg1, arg2);
    if (verb == "trim") return setTrim(arg1, arg2, arg3);
    if (verb == "divider") return describeDivider(arg1);
    if (verb == "meter") return describeMeter(arg1);
    return error("unknown command \"" + verb + "\"");
}

std::string Bench::setPlugged(const std::string& device, bool plugged) {
    int com = 0;
    const bool givenBack = plugged && comNumber(device, com) && serial_.away(com);
    if (givenBack) {
        std::string why;
        if (!serial_.giveBack(com, why)) return error(why);
        log_.addText(device, "note", "port given back");
    }
    if (MeterModel* m = meterOn(device)) {
        m->setPlugged(plugged, Clock::now());
        log_.addText(device, "note", plugged ? "meter plugged in" : "meter unplugged");
        return "ok";
    }
    if (givenBack) return "ok";
    auto d = findUsb(device);
    if (!d) return error("no usb device \"" + device + "\"");
    d->setPlugged(plugged);
    log_.addText(device, "note", plugged ? "plugged in" : "unplugged");
    answerArrived_.notify_all();
    return "ok";
}

std::string Bench::takeAway(const std::string& device) {
    int com = 0;
    if (!comNumber(device, com)) return error("takeaway takes COM1..COM9");
    serial_.takeAway(com);
    log_.addText(device, "note", "port taken away");
    return "ok";
}

std::set<Fault>* Bench::faultsOf(const std::string& device) {
    int com = 0;
    if (comNumber(device, com)) {
        SerialDevice* d = serial_.device(com);
        return d ? &d->faults : nullptr;
    }
    auto d = findUsb(device);
    return d ? &d->faults() : nullptr;
}

DeviceModel* Bench::modelOf(const std::string& device) {
    int n = 0;
    if (comNumber(device, n)) {
        SerialDevice* d = serial_.device(n);
        return d ? d->model.get() : nullptr;
    }
    if (lptNumber(device, n)) {
        LptPort* p = lpt_.port(n - 1);
        return p ? p->q610() : nullptr;
    }
    auto d = findUsb(device);
    return d ? &d->model() : nullptr;
}

std::string Bench::setFault(const std::string& device, const std::string& fault) {
    if (MeterModel* m = meterOn(device)) {
        if (fault == "none") {
            m->clearFaults();
        } else {
            auto f = meterFaultFromName(fault);
            if (!f) return error("unknown meter fault \"" + fault + "\"");
            m->setFault(*f);
        }
        log_.addText(device, "note", "fault " + fault);
        return "ok";
    }
    std::set<Fault>* faults = faultsOf(device);
    if (!faults) return error("no device \"" + device + "\"");
    if (fault == "none") {
        faults->clear();
    } else {
        auto f = faultFromName(fault);
        if (!f) return error("unknown fault \"" + fault + "\"");
        faults->insert(*f);
    }
    log_.addText(device, "note", "fault " + fault);
    return "ok";
}

std::string Bench::setRemote(const std::string& device, const std::string& value) {
    DeviceModel* model = modelOf(device);
    MeterModel* meter = meterOn(device);
    if (!model && !meter) return error("no device \"" + device + "\"");
    if (value != "0" && value != "1") return error("remote takes 0 or 1");
    if (meter)
        meter->setRemote(value == "1");
    else
        model->setRemote(value == "1");
    return "ok";
}

std::string Bench::lptRegisters(const std::string& port) {
    int n = 0;
    if (!lptNumber(port, n) && !(port.size() == 1 && (n = port[0] - '0', n == 1 || n == 2)))
        return error("lpt takes LPT1 or LPT2");
    LptPort* p = lpt_.port(n - 1);
    LptRegisterValues r = p ? p->registers() : LptRegisterValues{0xFF, 0xFF, 0xFF};
    char text[64];
    std::snprintf(text, sizeof text, "data=%u status=%u control=%u", r.data, r.status, r.control);
    return text;
}

std::string Bench::setCondition(const std::string& device, const std::string& value) {
    auto* q270 = dynamic_cast<Q270Model*>(modelOf(device));
    if (auto* kx = dynamic_cast<InterfaceModule*>(modelOf(device))) q270 = kx->q270();
    if (!q270) return error("no Q270 \"" + device + "\"");
    if (value.size() != 1 || value[0] < '0' || value[0] > '8') return error("condition takes 0..8");
    q270->setCondition(value[0] - '0');
    return "ok";
}

std::string Bench::stats() const {
    return "requests=" + std::to_string(counters_.requests) +
           " reads=" + std::to_string(counters_.reads) +
           " empty_reads=" + std::to_string(counters_.emptyReads);
}

std::string Bench::describeDevices() const {
    std::string out;
    for (const auto& d : usb_) {
        out += d->serial() + "\t" + d->model().kind() + "\t" +
               (d->plugged() ? "plugged" : "unplugged") + "\t" + d->path() + "\n";
    }
    return out;
}

}  // namespace zdx::bench
