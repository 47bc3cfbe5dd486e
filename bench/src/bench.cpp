#include "bench.h"

#include <cstring>
#include <thread>

#include "../../accesslib/backends/bench/bench_wire.h"

namespace zdx::bench {

namespace {

using benchwire::Op;
using benchwire::put_u32;

constexpr std::uint8_t kClassGuid[16] = {0x80, 0x72, 0x44, 0x1B, 0x9B, 0x1A, 0xD3, 0x11,
                                         0xAD, 0xCA, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00};
constexpr std::string_view kPortDriverPath = "\\\\.\\Dev_DirectNT";
constexpr std::uint32_t kGetDeviceDescriptor = 0x0022000C;
constexpr std::uint32_t kGetStringDescriptor = 0x00220010;
constexpr std::uint32_t kErrorInvalidParameter = 87;

std::string ok(std::string_view payload = {}) {
    std::string r;
    put_u32(r, 0);
    r.append(payload);
    return r;
}

std::string failed(std::uint32_t code = 1) {
    std::string r;
    put_u32(r, code);
    return r;
}

std::string okU32(std::uint32_t v) {
    std::string r = ok();
    put_u32(r, v);
    return r;
}

}  // namespace

Bench::Bench() : serial_(lock_, log_) {}

Bench::~Bench() {
    stop();
}

bool Bench::start(const std::string& comFolder, std::string& error) {
    return serial_.start(comFolder, error);
}

void Bench::stop() {
    serial_.stop();
}

bool Bench::openLogFile(const std::string& path) {
    std::lock_guard<std::mutex> guard(lock_);
    return log_.openFile(path);
}

bool Bench::load(const std::string& json, std::string& error) {
    Scenario s;
    if (!parseScenario(json, s, error)) return false;
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& d : usb_) d->detach();
    usb_ = std::move(s.usb);
    timedPlugs_.clear();
    const auto now = Clock::now();
    for (auto& t : s.timedPlugs) timedPlugs_.emplace_back(now + t.after, std::move(t));
    osFamily_ = s.osFamily;
    lpt_.setDriver(s.driver);
    for (int i = 0; i < 2; ++i) {
        const LptSetup& l = s.lpt[i];
        lpt_.setPort(i, std::make_unique<LptPort>(
                            l.present, l.q610 ? std::make_unique<Q610Model>(l.remote) : nullptr));
    }
    for (int com = 1; com <= kComPorts; ++com) {
        // A port taken away comes back with the new scenario.
        if (!serial_.giveBack(com, error)) return false;
        serial_.setDevice(com, std::move(s.serial[com - 1]));
    }
    wireMeters();
    answerArrived_.notify_all();
    return true;
}

std::string Bench::environment() const {
    std::string env = "ZDXUSBCAL_BENCH=" + socketPath_ + "\n";
    for (int com = 1; com <= kComPorts; ++com)
        env += "ZDX_COM" + std::to_string(com) + "=" + serial_.path(com) + "\n";
    return env;
}

std::string Bench::handle(ClientId client, std::string_view request) {
    benchwire::Reader in(request);
    std::uint8_t opByte = 0;
    if (!in.u8(opByte)) return failed(kErrorInvalidParameter);
    std::unique_lock<std::mutex> guard(lock_);
    ++counters_.requests;
    applyTimedPlugs();
    std::uint32_t a = 0, b = 0, c = 0;
    switch (static_cast<Op>(opByte)) {
        case Op::GetClassDevs:
            return getClassDevs(in.rest());
        case Op::Open: {
            std::uint8_t mode = 0;
            if (!in.u8(mode)) break;
            return open(client, in.rest());
        }
        case Op::DeviceControl:
            if (!in.u32(a) || !in.u32(b) || !in.u32(c)) break;
            return deviceControl(a, b, c, in.rest());
        case Op::Read:
            if (!in.u32(a) || !in.u32(b)) break;
            return read(guard, a, b);
        case Op::Write:
            if (!in.u32(a)) break;
            return write(guard, a, in.rest());
        case Op::Close: {
            if (!in.u32(a)) break;
            auto it = handles_.find(a);
            if (it == handles_.end()) return failed();
            if (it->second.kind == HandleKind::PortDriver) lpt_.closeDriver(a, log_);
            handles_.erase(it);
            return ok();
        }
        case Op::OsFamily:
            return okU32(osFamily_);
        case Op::PortIn: {
            std::uint16_t address = 0;
            if (!in.u16(address)) break;
            std::string r = ok();
            benchwire::put_u8(r, lpt_.read(address, log_));
            return r;
        }
        case Op::PortOut: {
            std::uint16_t address = 0;
            std::uint8_t value = 0;
            if (!in.u16(address) || !in.u8(value)) break;
            lpt_.out(address, value, log_);
            return ok();
        }
        case Op::Control: {
            guard.unlock();
            bool stop = false;
            std::string reply = control(std::string(in.rest()), stop);
            if (stop && onStop_) onStop_();
            return ok(reply);
        }
    }
    return failed(kErrorInvalidParameter);
}

void Bench::dropClient(ClientId client) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(handles_, [client](const auto& h) { return h.second.client == client; });
}

std::string Bench::getClassDevs(std::string_view guid) {
    std::vector<const std::string*> paths;
    // Another class has no devices here, but the set itself is valid.
    if (guid.size() == 16 && std::memcmp(guid.data(), kClassGuid, 16) == 0) {
        for (const auto& d : usb_)
            if (d->reachable()) paths.push_back(&d->path());
    }
    std::string r = okU32(static_cast<std::uint32_t>(paths.size()));
    for (const std::string* p : paths) {
        put_u32(r, static_cast<std::uint32_t>(p->size()));
        r += *p;
    }
    return r;
}

std::string Bench::open(ClientId client, std::string_view path) {
    Handle h;
    h.client = client;
    const std::uint32_t id = newId();
    if (path == kPortDriverPath) {
        if (!lpt_.openDriver(id, log_)) return failed(2);
        h.kind = HandleKind::PortDriver;
    } else {
        for (const auto& d : usb_) {
            if (!d->reachable() || path.substr(0, d->path().size()) != d->path()) continue;
            std::string_view rest = path.substr(d->path().size());
            if (rest.empty())
                h.kind = HandleKind::Device;
            else if (rest == "\\PIPE00")
                h.kind = HandleKind::AnswerPipe;
            else if (rest == "\\PIPE01")
                h.kind = HandleKind::CommandPipe;
            else
                continue;
            if (d->has(Fault::Unopenable) ||
                (h.kind == HandleKind::CommandPipe && d->has(Fault::RefuseCommandPipe)))
                return failed(5);
            h.device = d;
            h.generation = d->generation();
            break;
        }
        if (!h.device) return failed(2);
    }
    handles_[id] = std::move(h);
    return okU32(id);
}

UsbDevice* Bench::live(const Handle& h) const {
    if (!h.device || !h.device->reachable() || h.device->generation() != h.generation)
        return nullptr;
    return h.device.get();
}

std::string Bench::deviceControl(std::uint32_t handle, std::uint32_t code, std::uint32_t outSize,
                                 std::string_view in) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) return failed(6);
    const Handle& h = it->second;
    std::optional<std::string> answer;
    if (h.kind == HandleKind::PortDriver)
        return lpt_.driverRequest(handle, code, std::string(in), log_) ? ok() : failed(1);
    UsbDevice* dev = live(h);
    if (!dev || h.kind != HandleKind::Device) return failed(31);
    if (code == kGetDeviceDescriptor) {
        if (outSize < 18) return failed(122);
        answer = dev->deviceDescriptor();
    } else if (code == kGetStringDescriptor) {
        answer = dev->stringDescriptor(in);
    }
    if (!answer) return failed(31);
    if (answer->size() > outSize) answer->resize(outSize);
    return ok(*answer);
}

std::string Bench::read(std::unique_lock<std::mutex>& guard, std::uint32_t handle,
                        std::uint32_t size) {
    const auto deadline = Clock::now() + kReadHold;
    for (;;) {
        auto it = handles_.find(handle);
        if (it == handles_.end() || it->second.kind != HandleKind::AnswerPipe) return failed(6);
        UsbDevice* dev = live(it->second);
        if (!dev) return failed(31);
        const auto now = Clock::now();
        std::string bytes = dev->takeAnswer(size, now);
        if (!bytes.empty() || now >= deadline) {
            ++counters_.reads;
            if (bytes.empty()) ++counters_.emptyReads;
            return ok(bytes);
        }
        auto until = deadline;
        if (auto due = dev->nextDue(); due && *due < until) until = *due;
        answerArrived_.wait_until(guard, until);
    }
}

std::string Bench::write(std::unique_lock<std::mutex>& guard, std::uint32_t handle,
                         std::string_view data) {
    auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.kind != HandleKind::CommandPipe) return failed(6);
    UsbDevice* dev = live(it->second);
    if (!dev) return failed(31);
    const std::size_t taken = dev->writeCommand(data, log_, Clock::now());
    const auto hold = dev->writeDelay();
    answerArrived_.notify_all();
    if (hold.count() > 0) {
        // A held write call must not hold up the bench's other clients.
        guard.unlock();
        std::this_thread::sleep_for(hold);
    }
    return okU32(static_cast<std::uint32_t>(taken));
}

void Bench::applyTimedPlugs() {
    const auto now = Clock::now();
    std::erase_if(timedPlugs_, [&](const auto& entry) {
        if (entry.first > now) return false;
        if (auto d = findUsb(entry.second.serial)) {
            d->setPlugged(entry.second.plugged);
            log_.addText(d->serial(), "note", entry.second.plugged ? "plugged in" : "unplugged");
        }
        return true;
    });
}

std::shared_ptr<UsbDevice> Bench::findUsb(const std::string& serial) const {
    for (const auto& d : usb_)
        if (d->serial() == serial) return d;
    return nullptr;
}

}  // namespace zdx::bench
