#include "scenario.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "interface_module.h"
#include "q270_model.h"
#include "q610_model.h"
#include "scenario_instruments.h"
#include "scenario_json.h"

namespace zdx::bench {

namespace {

using namespace scenario_json;

// Our product ids on the virtual bus (the vendor id is the bench's own).
constexpr std::uint16_t kVendor = 0x2F5A;
constexpr std::uint16_t kProductQ270 = 0x0270;
constexpr std::uint16_t kProductQ610 = 0x0610;
constexpr std::uint16_t kProductKx = 0x0D60;
// More devices than any generator may ask for is a typo, not a test.
constexpr int kMaxGenerated = 1000;

std::set<Fault> parseFaults(const json& j) {
    std::set<Fault> faults;
    for (const auto& f : arrayOf(j, "faults")) {
        auto fault = faultFromName(f.is_string() ? f.get<std::string>() : std::string());
        if (!fault) fail("unknown fault " + f.dump());
        faults.insert(*fault);
    }
    return faults;
}

std::unique_ptr<Q270Model> makeQ270(const json& j, const std::string& serial) {
    Q270Config c;
    c.serial = serial;
    c.id = get<std::string>(j, "id", get<std::string>(j, "string6", "Q270S9 V1.18"));
    c.condition = get<int>(j, "condition", 0);
    if (c.condition < 0 || c.condition > 8) fail("\"condition\" must be 0..8");
    c.probeAccepted = get<bool>(j, "probe_accepted", true);
    c.remote = get<bool>(j, "remote", false);
    return std::make_unique<Q270Model>(c, parseDivider(j.value("divider", json())));
}

const std::initializer_list<const char*> kDeviceKeys = {
    "kind",      "serial",         "string4",      "string5", "string6", "id",           "remote",
    "condition", "probe_accepted", "faults",       "plugged", "behind",  "serial_index", "baud",
    "com",       "unplug_at_ms",   "replug_at_ms", "divider"};

std::unique_ptr<DeviceModel> makeModel(const json& j, const std::string& serial, bool allowKx);

std::unique_ptr<InterfaceModule> makeKx(const json& j) {
    std::unique_ptr<Q610Model> q610;
    std::unique_ptr<Q270Model> q270;
    for (const auto& b : arrayOf(j, "behind")) {
        checkKeys(b, kDeviceKeys, "device behind the interface module");
        std::string kind = get<std::string>(b, "kind", "");
        if (kind == "Q610" && !q610) {
            q610 = std::make_unique<Q610Model>(get<bool>(b, "remote", true));
        } else if (kind == "Q270" && !q270) {
            q270 = makeQ270(b, get<std::string>(b, "serial", "Q270S9-0002"));
        } else {
            fail("behind the interface module: at most one Q610 and one Q270");
        }
    }
    return std::make_unique<InterfaceModule>(std::move(q610), std::move(q270));
}

std::unique_ptr<DeviceModel> makeModel(const json& j, const std::string& serial, bool allowKx) {
    std::string kind = get<std::string>(j, "kind", "");
    if (kind != "Q270" && j.contains("divider")) fail("only a Q270 has a \"divider\"");
    if (kind == "Q270") return makeQ270(j, serial);
    if (kind == "Q610") return std::make_unique<Q610Model>(get<bool>(j, "remote", true));
    if (kind == "KX" && allowKx) return makeKx(j);
    fail("unknown device kind \"" + kind + "\"");
}

std::shared_ptr<UsbDevice> makeUsbDevice(const json& j, const std::string& serial) {
    checkKeys(j, kDeviceKeys, "usb device");
    auto model = makeModel(j, serial, true);
    std::string kind = model->kind();
    auto dev = std::make_shared<UsbDevice>(serial, std::move(model));
    std::uint16_t product = kind == "Q270"   ? kProductQ270
                            : kind == "Q610" ? kProductQ610
                                             : kProductKx;
    dev->setIds(kVendor, product);
    const char* defaultProduct = kind == "Q270"   ? "Q270 Calibrator"
                                 : kind == "Q610" ? "Q610 Calibrator"
                                                  : "NVQ+KX Interface";
    const char* defaultId = kind == "Q270"   ? "Q270S9 V1.18"
                            : kind == "Q610" ? "Q610 V2.03"
                                             : "KX V1.0";
    dev->setString(4, get<std::string>(j, "string4", "ZDX"));
    dev->setString(5, get<std::string>(j, "string5", defaultProduct));
    dev->setString(6, get<std::string>(j, "string6", get<std::string>(j, "id", defaultId)));
    int index = get<int>(j, "serial_index", 3);
    if (index < 1 || index > 255 || (index >= 4 && index <= 6))
        fail("\"serial_index\" must be 1..255 and not 4, 5 or 6");
    dev->setSerialIndex(static_cast<std::uint8_t>(index));
    dev->faults() = parseFaults(j);
    dev->setPlugged(get<bool>(j, "plugged", true));
    return dev;
}

void parseUsb(const json& root, Scenario& s) {
    for (const auto& j : arrayOf(root, "usb")) {
        std::string serial = get<std::string>(j, "serial", "");
        if (serial.empty()) fail("every usb device needs a \"serial\"");
        if (get<std::string>(j, "kind", "") == "KX" && serial.rfind("KX", 0) != 0)
            fail("an interface module's serial number begins with \"KX\"");
        s.usb.push_back(makeUsbDevice(j, serial));
        for (const char* key : {"unplug_at_ms", "replug_at_ms"}) {
            int ms = get<int>(j, key, -1);
            if (j.contains(key) && ms < 0) fail(std::string("\"") + key + "\" must be >= 0");
            if (ms >= 0)
                s.timedPlugs.push_back({std::chrono::milliseconds(ms), serial, key[0] == 'r'});
        }
    }
    for (const auto& g : arrayOf(root, "usb_generate")) {
        int count = get<int>(g, "count", 0);
        if (count < 0 || count > kMaxGenerated) fail("\"count\" must be 0..1000");
        std::string prefix = get<std::string>(g, "serial_prefix", "GEN");
        json proto = g;
        proto.erase("count");
        proto.erase("serial_prefix");
        for (int i = 1; i <= count; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%04d", i);
            s.usb.push_back(makeUsbDevice(proto, prefix + number));
        }
    }
}

void parseSerial(const json& root, Scenario& s) {
    for (const auto& j : arrayOf(root, "serial")) {
        const bool meter = get<std::string>(j, "kind", "") == "meter";
        if (!meter) checkKeys(j, kDeviceKeys, "serial device");
        int com = get<int>(j, "com", 0);
        if (com < 1 || com > kComPorts) fail("\"com\" must be 1..9");
        if (get<std::string>(j, "kind", "") == "Q610") fail("a Q610 has no serial line");
        SerialDevice& d = s.serial[com - 1];
        if (d.model || d.meter) fail("two devices on COM" + std::to_string(com));
        if (meter) {
            d.meter = makeMeter(j, std::chrono::steady_clock::now());
            d.baud = get<int>(j, "baud", 9600);
            continue;
        }
        d.model = makeModel(j, get<std::string>(j, "serial", "Q270S9-0003"), false);
        d.faults = parseFaults(j);
        d.baud = get<int>(j, "baud", 9600);
    }
}

const Q270Model* asQ270(const DeviceModel* m) {
    if (auto* kx = dynamic_cast<const InterfaceModule*>(m)) return kx->q270();
    return dynamic_cast<const Q270Model*>(m);
}

// A meter is wired to a calibrator of the same scenario: a serial number
// that names none is a typo.
void checkMeterWiring(const Scenario& s) {
    for (int com = 1; com <= kComPorts; ++com) {
        const MeterModel* meter = s.serial[com - 1].meter.get();
        if (!meter || meter->config().calibrator.empty()) continue;
        bool found = false;
        for (const auto& d : s.usb) {
            const Q270Model* q = asQ270(&d->model());
            found = found || (q && q->config().serial == meter->config().calibrator);
        }
        for (const auto& d : s.serial) {
            const Q270Model* q = asQ270(d.model.get());
            found = found || (q && q->config().serial == meter->config().calibrator);
        }
        if (!found)
            fail("meter on COM" + std::to_string(com) + ": no Q270 \"" +
                 meter->config().calibrator + "\" in the scenario");
    }
}

void parseLpt(const json& root, Scenario& s) {
    s.lpt[0] = {true, true, true};
    s.lpt[1] = {false, false, true};
    for (const auto& j : arrayOf(root, "lpt")) {
        checkKeys(j, {"port", "present", "device", "remote"}, "lpt port");
        int port = get<int>(j, "port", 0);
        if (port < 1 || port > 2) fail("\"port\" must be 1 or 2");
        std::string device = get<std::string>(j, "device", "none");
        if (device != "Q610" && device != "none") fail("\"device\" must be \"Q610\" or \"none\"");
        LptSetup& l = s.lpt[port - 1];
        l.present = get<bool>(j, "present", true);
        l.q610 = device == "Q610" && l.present;
        l.remote = get<bool>(j, "remote", true);
    }
}

}  // namespace

bool parseScenario(const std::string& text, Scenario& out, std::string& error) {
    try {
        json root = json::parse(text);
        checkKeys(root, {"os_family", "port_driver", "usb", "usb_generate", "serial", "lpt"},
                  "scenario");
        out = Scenario{};
        const json family = root.value("os_family", json("nt"));
        if (family.is_number_unsigned()) {
            out.osFamily = wholeNumber<std::uint32_t>(family, "\"os_family\"");
        } else if (family == "nt") {
            out.osFamily = 2;
        } else if (family == "other") {
            out.osFamily = 1;
        } else {
            fail("\"os_family\" must be \"nt\", \"other\" or a number");
        }
        std::string driver = get<std::string>(root, "port_driver", "present");
        if (driver == "present")
            out.driver = PortDriver::Present;
        else if (driver == "missing")
            out.driver = PortDriver::Missing;
        else if (driver == "refusing")
            out.driver = PortDriver::Refusing;
        else
            fail("\"port_driver\" must be \"present\", \"missing\" or \"refusing\"");
        parseUsb(root, out);
        parseSerial(root, out);
        checkMeterWiring(out);
        parseLpt(root, out);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

const char* defaultScenarioJson() {
    return R"({
  "os_family": "nt",
  "port_driver": "present",
  "usb": [
    {"kind": "Q270", "serial": "Q270S9-00417", "id": "Q270S9 V1.18",
     "divider": {"deviations_ppm": [12, -8, 25, 3, -15, 30, -4, 7, -22, 10,
                                    0, 18, -11, 5, -27, 14, 2, -6, 21, -9]}},
    {"kind": "Q610", "serial": "Q610-00123", "string6": "Q610 V2.03"}
  ],
  "serial": [
    {"com": 1, "kind": "meter", "calibrator": "Q270S9-00417", "noise_uv": 0.5, "seed": 7},
    {"com": 2, "kind": "Q270", "serial": "Q270S9-00418", "id": "Q270S9 V1.18"}
  ],
  "lpt": [
    {"port": 1, "device": "Q610"},
    {"port": 2, "present": false}
  ]
})";
}

}  // namespace zdx::bench
