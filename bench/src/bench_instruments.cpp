// The measuring chain on the bench: multimeters wired to a calibrator's
// divider output, and the control commands that read and change the divider.
#include <charconv>
#include <cmath>

#include "bench.h"
#include "interface_module.h"

namespace zdx::bench {

namespace {

std::string error(const std::string& what) {
    return "error: " + what;
}

// Shortest text that reads back as the same double: tests compare exactly.
std::string number(double v) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return std::string(text, ec == std::errc() ? end : text);
}

Q270Model* asQ270(DeviceModel* m) {
    if (auto* kx = dynamic_cast<InterfaceModule*>(m)) return kx->q270();
    return dynamic_cast<Q270Model*>(m);
}

}  // namespace

Q270Model* Bench::q270Named(const std::string& name) {
    if (Q270Model* q = asQ270(modelOf(name))) return q;
    for (const auto& d : usb_)
        if (Q270Model* q = asQ270(&d->model()); q && q->config().serial == name) return q;
    for (int com = 1; com <= kComPorts; ++com) {
        SerialDevice* d = serial_.device(com);
        if (Q270Model* q = d ? asQ270(d->model.get()) : nullptr; q && q->config().serial == name)
            return q;
    }
    return nullptr;
}

MeterModel* Bench::meterOn(const std::string& device) {
    if (device.size() != 4 || device.rfind("COM", 0) != 0) return nullptr;
    SerialDevice* d = serial_.device(device[3] - '0');
    return d ? d->meter.get() : nullptr;
}

// The calibrator is looked up at every reading, by its serial number: the
// meter holds no pointer into devices that a later scenario replaces.
void Bench::wireMeters() {
    for (int com = 1; com <= kComPorts; ++com) {
        SerialDevice* d = serial_.device(com);
        if (!d || !d->meter) continue;
        const std::string serial = d->meter->config().calibrator;
        d->meter->setInput([this, serial](Clock::time_point t, Clock::duration settle) {
            const Q270Model* q = serial.empty() ? nullptr : q270Named(serial);
            return q ? q->outputVolts(t, settle) : 0.0;
        });
    }
}

std::string Bench::setTrim(const std::string& device, const std::string& resistor,
                           const std::string& ohms) {
    Q270Model* q = q270Named(device);
    if (!q) return error("no Q270 \"" + device + "\"");
    if (resistor == "none" && ohms.empty()) {
        q->divider().removeAllTrims();
        log_.addText(device, "note", "trims removed");
        return "ok";
    }
    const int n = resistorNumber(resistor);
    if (!n) return error("trim takes R97..R116, then ohms or none");
    std::optional<double> value;
    if (ohms != "none") {
        double v = 0;
        auto [end, ec] = std::from_chars(ohms.data(), ohms.data() + ohms.size(), v);
        if (ec != std::errc() || end != ohms.data() + ohms.size() || !std::isfinite(v) || v <= 0)
            return error("a trim resistance must be > 0 ohms");
        value = v;
    }
    q->divider().setTrim(n, value);
    log_.addText(device, "note",
                 "trim " + resistor + (value ? " " + number(*value) + " ohm" : " removed"));
    return "ok";
}

std::string Bench::describeDivider(const std::string& device) {
    const Q270Model* q = q270Named(device);
    if (!q) return error("no Q270 \"" + device + "\"");
    const Divider& d = q->divider();
    const int selected = q->output().selected();
    std::string out = "excitation_v\t" + number(d.excitationV()) + "\n";
    out += "selected\t" + (selected ? "R" + std::to_string(selected) : std::string("none")) + "\n";
    for (int k = kFirstResistor; k <= kLastResistor; ++k) {
        const auto trim = d.trimOhm(k);
        out += "R" + std::to_string(k) + "\t" + number(d.deviationPpm(k)) + "\t" +
               (trim ? number(*trim) : std::string("none")) + "\t" + number(d.resistanceOhm(k)) +
               "\n";
    }
    return out;
}

std::string Bench::describeMeter(const std::string& device) {
    MeterModel* m = meterOn(device);
    if (!m) return error("no meter on \"" + device + "\"");
    std::string faults;
    for (MeterFault f : m->faults()) faults += (faults.empty() ? "" : ",") + meterFaultName(f);
    return "plugged=" + std::to_string(m->pluggedAt(Clock::now())) +
           " remote=" + std::to_string(m->remote()) +
           " port_open=" + std::to_string(serial_.terminalOpen(device[3] - '0')) +
           " readings=" + std::to_string(m->readings()) +
           " errors=" + std::to_string(m->queuedErrors()) +
           " faults=" + (faults.empty() ? std::string("none") : faults);
}

}  // namespace zdx::bench
