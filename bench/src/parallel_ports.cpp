#include "parallel_ports.h"

#include <cstdio>
#include <cstring>

#include "traffic_log.h"

namespace zdx::bench {

namespace {

constexpr std::uint16_t kBases[2] = {0x378, 0x278};
constexpr std::uint16_t kExtended[2] = {0x77A, 0x67A};
constexpr int kExtendedOffset = 8;
constexpr std::uint32_t kRequestOpen = 50;
constexpr std::uint32_t kRequestClose = 52;
constexpr std::uint32_t kPortAccessCode = 0x9C406000;
constexpr std::size_t kRequestBytes = 16;
const char* const kDriverLogName = "PORTIO";

// Status register bits: 0..2 unused (read 1), 3 nError (1 = no error),
// 4 Select (1 = unit powered and on line), 5 Paper-out (0), 6 nAck (1),
// 7 Busy (inverted by the port: 0 = busy). A Q610 in local operation drops
// Select; an empty port reads the idle pattern of pulled-up inputs.
constexpr std::uint8_t kStatusQ610Remote = 0x5F;
constexpr std::uint8_t kStatusQ610Local = 0x4F;
constexpr std::uint8_t kStatusNothingAttached = 0x7F;
// What the bus returns where no port answers.
constexpr std::uint8_t kFloatingBus = 0xFF;

std::uint32_t u32At(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(s[at + i]);
    return v;
}

// Register names by offset, as the traffic log shows port input and output.
const char* registerName(int offset) {
    static const char* const kNames[] = {"data", "status", "control", "reg3",    "reg4",
                                         "reg5", "reg6",   "reg7",    "extended"};
    return kNames[offset];
}

}  // namespace

LptPort::LptPort(bool present, std::unique_ptr<Q610Model> q610)
    : present_(present), q610_(std::move(q610)) {}

std::uint8_t LptPort::status() const {
    if (!q610_) return kStatusNothingAttached;
    return q610_->remote() ? kStatusQ610Remote : kStatusQ610Local;
}

std::uint8_t LptPort::in(int offset) const {
    if (!present_) return kFloatingBus;
    switch (offset) {
        case 0:
            return data_;
        case 1:
            return status();
        case 2:
            return control_;
        case kExtendedOffset:
            return extended_;
        default:
            return kFloatingBus;
    }
}

void LptPort::out(int offset, std::uint8_t value) {
    if (!present_) return;
    if (offset == 0) {
        data_ = value;
        if (q610_) q610_->setOutputByte(value);
    } else if (offset == 2) {
        control_ = value;
    } else if (offset == kExtendedOffset) {
        extended_ = value;
    }
}

LptRegisterValues LptPort::registers() const {
    return {in(0), in(1), in(2)};
}

ParallelPorts::ParallelPorts() {
    ports_[0] = std::make_unique<LptPort>(true, std::make_unique<Q610Model>(true));
    ports_[1] = std::make_unique<LptPort>(false, nullptr);
}

void ParallelPorts::setPort(int index, std::unique_ptr<LptPort> port) {
    if (index >= 0 && index < 2) ports_[index] = std::move(port);
}

LptPort* ParallelPorts::port(int index) const {
    return (index >= 0 && index < 2) ? ports_[index].get() : nullptr;
}

bool ParallelPorts::portAccess(const std::string& request) {
    if (driver_ != PortDriver::Present || request.size() < 16) return false;
    const std::uint32_t what = u32At(request, 0);
    const std::uint32_t first = u32At(request, 4);
    const std::uint32_t last = u32At(request, 8);
    if (what != kRequestOpen && what != kRequestClose) return false;
    return first <= last && last <= 0xFFFF;
}

bool ParallelPorts::openDriver(std::uint32_t handle, TrafficLog& log) const {
    if (driver_ == PortDriver::Missing) {
        log.addText(kDriverLogName, "in", "open refused: no driver");
        return false;
    }
    log.addText(kDriverLogName, "in", "open handle=" + std::to_string(handle));
    return true;
}

bool ParallelPorts::driverRequest(std::uint32_t handle, std::uint32_t code, const std::string& in,
                                  TrafficLog& log) {
    const bool granted = code == kPortAccessCode && portAccess(in);
    char text[96];
    if (code != kPortAccessCode) {
        std::snprintf(text, sizeof text, "handle=%u code=0x%08X", handle, code);
    } else if (in.size() < kRequestBytes) {
        std::snprintf(text, sizeof text, "handle=%u request of %zu bytes", handle, in.size());
    } else {
        const std::uint32_t what = u32At(in, 0);
        const std::string name = what == kRequestOpen    ? "open"
                                 : what == kRequestClose ? "close"
                                                         : "request=" + std::to_string(what);
        std::snprintf(text, sizeof text, "handle=%u %s 0x%03X-0x%03X", handle, name.c_str(),
                      u32At(in, 4), u32At(in, 8));
        // The layout's last word is 0; anything else is shown, not hidden.
        if (const std::uint32_t last = u32At(in, 12); last != 0) {
            const std::size_t used = std::strlen(text);
            std::snprintf(text + used, sizeof text - used, " word12=0x%X", last);
        }
    }
    log.addText(kDriverLogName, "in", std::string(text) + (granted ? " granted" : " refused"));
    return granted;
}

void ParallelPorts::closeDriver(std::uint32_t handle, TrafficLog& log) const {
    log.addText(kDriverLogName, "in", "close handle=" + std::to_string(handle));
}

bool ParallelPorts::decode(std::uint16_t address, int& port, int& offset) {
    for (int p = 0; p < 2; ++p) {
        if (address >= kBases[p] && address <= kBases[p] + 7) {
            port = p;
            offset = address - kBases[p];
            return true;
        }
        if (address == kExtended[p]) {
            port = p;
            offset = kExtendedOffset;
            return true;
        }
    }
    return false;
}

std::uint8_t ParallelPorts::in(std::uint16_t address) const {
    int p = 0, offset = 0;
    if (!decode(address, p, offset) || !ports_[p]) return kFloatingBus;
    return ports_[p]->in(offset);
}

std::uint8_t ParallelPorts::read(std::uint16_t address, TrafficLog& log) const {
    const std::uint8_t value = in(address);
    int p = 0, offset = 0;
    char text[48];
    if (!decode(address, p, offset)) {
        std::snprintf(text, sizeof text, "port 0x%03X=0x%02X", address, value);
        log.addText("LPT?", "out", text);
    } else {
        std::snprintf(text, sizeof text, "%s=0x%02X", registerName(offset), value);
        log.addText("LPT" + std::to_string(p + 1), "out", text);
    }
    return value;
}

void ParallelPorts::out(std::uint16_t address, std::uint8_t value, TrafficLog& log) {
    int p = 0, offset = 0;
    char text[48];
    if (!decode(address, p, offset)) {
        std::snprintf(text, sizeof text, "port 0x%03X=0x%02X", address, value);
        log.addText("LPT?", "in", text);
        return;
    }
    std::snprintf(text, sizeof text, "%s=0x%02X", registerName(offset), value);
    log.addText("LPT" + std::to_string(p + 1), "in", text);
    if (ports_[p]) ports_[p]->out(offset, value);
}

}  // namespace zdx::bench
