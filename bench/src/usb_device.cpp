#include "usb_device.h"

#include <cstdio>
#include <string>

#include "traffic_log.h"

namespace zdx::bench {

namespace {

constexpr std::uint8_t kStringDescriptorType = 3;
constexpr std::size_t kStringHeaderBytes = 12;
// A descriptor's length is one byte and even: 126 UTF-16 units at most.
constexpr std::size_t kMaxDescriptorChars = 126;
// A partial line longer than this is thrown away, as a device's input buffer would.
constexpr std::size_t kMaxLineIn = 4096;

}  // namespace

std::string usbInterfacePath(std::uint16_t vendor, std::uint16_t product,
                             const std::string& serial) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x", vendor, product);
    return std::string("\\\\?\\usb#") + ids + "#" + serial +
           "#{1b447280-1a9b-11d3-adca-444553540000}";
}

UsbDevice::UsbDevice(std::string serial, std::unique_ptr<DeviceModel> model)
    : serial_(std::move(serial)), model_(std::move(model)) {
    path_ = usbInterfacePath(vendor_, product_, serial_);
}

void UsbDevice::setString(int index, std::string text) {
    if (index >= 4 && index <= 6) strings_[index - 4] = std::move(text);
}

const std::string& UsbDevice::string(int index) const {
    static const std::string kEmpty;
    return (index >= 4 && index <= 6) ? strings_[index - 4] : kEmpty;
}

void UsbDevice::setIds(std::uint16_t vendor, std::uint16_t product) {
    vendor_ = vendor;
    product_ = product;
    path_ = usbInterfacePath(vendor_, product_, serial_);
}

void UsbDevice::setPlugged(bool plugged) {
    if (plugged_ && !plugged) {
        ++generation_;
        // What was in flight is lost with the device.
        lineIn_.clear();
        answers_.clear();
    }
    plugged_ = plugged;
}

void UsbDevice::detach() {
    setPlugged(false);
    attached_ = false;
}

std::optional<std::string> UsbDevice::deviceDescriptor() const {
    if (has(Fault::RefuseRequests)) return std::nullopt;
    const std::uint8_t d[18] = {18,
                                1,
                                0x00,
                                0x02,
                                0xFF,
                                0x00,
                                0x00,
                                64,
                                static_cast<std::uint8_t>(vendor_ & 0xFF),
                                static_cast<std::uint8_t>(vendor_ >> 8),
                                static_cast<std::uint8_t>(product_ & 0xFF),
                                static_cast<std::uint8_t>(product_ >> 8),
                                0x00,
                                0x01,
                                4,
                                5,
                                serialIndex_,
                                1};
    return std::string(reinterpret_cast<const char*>(d), sizeof d);
}

std::string UsbDevice::describe(std::string_view text, bool applyStringFaults) const {
    std::size_t chars = std::min(text.size(), kMaxDescriptorChars);
    std::string d;
    d.push_back(static_cast<char>(2 + 2 * chars));
    d.push_back(static_cast<char>(kStringDescriptorType));
    for (std::size_t i = 0; i < chars; ++i) {
        d.push_back(text[i]);
        d.push_back('\0');
    }
    if (applyStringFaults && has(Fault::OddDescriptor)) {
        d.push_back('\0');
        d[0] = static_cast<char>(d.size());
    }
    if (applyStringFaults && has(Fault::MismatchedDescriptor))
        d[0] = static_cast<char>(static_cast<std::uint8_t>(d[0]) - 2);
    if (has(Fault::HeaderForm)) d.insert(0, kStringHeaderBytes, '\0');
    return d;
}

std::optional<std::string> UsbDevice::stringDescriptor(std::string_view request) const {
    if (has(Fault::RefuseRequests) || request.size() < kStringHeaderBytes) return std::nullopt;
    const auto index = static_cast<std::uint8_t>(request[6]);
    const auto type = static_cast<std::uint8_t>(request[7]);
    if (type != kStringDescriptorType) return std::nullopt;
    if (index == serialIndex_) return describe(serial_, false);
    if (index == 0) return std::string("\x04\x03\x09\x04", 4);  // language list: en-US
    if (index < 4 || index > 6 || has(Fault::RefuseStrings)) return std::nullopt;
    return describe(strings_[index - 4], true);
}

std::size_t UsbDevice::writeCommand(std::string_view bytes, TrafficLog& log,
                                    Clock::time_point now) {
    if (has(Fault::ShortWrite) && !bytes.empty()) {
        // The bytes taken still reach the device: the line stays incomplete.
        log.addText(serial_, "note",
                    "short write: " + std::to_string(bytes.size() - 1) + " of " +
                        std::to_string(bytes.size()) + " bytes taken");
        bytes.remove_suffix(1);
    }
    if (has(Fault::SlowWrite)) {
        log.addText(serial_, "note",
                    "slow write: held " + std::to_string(kSlowWriteDelay.count()) + " ms");
    }
    for (char c : bytes) {
        if (c != '\n') {
            if (lineIn_.size() < kMaxLineIn) lineIn_.push_back(c);
            continue;
        }
        std::string line = std::move(lineIn_);
        lineIn_.clear();
        log.addLine(serial_, "in", line);
        ShapedAnswer shaped = shapeAnswer(faults_, model_->handleLine(line));
        if (shaped.bytes.empty()) continue;
        log.addLine(serial_, "out", shaped.bytes);
        answers_.push_back({now + shaped.delay, std::move(shaped.bytes)});
    }
    return bytes.size();
}

std::chrono::milliseconds UsbDevice::writeDelay() const {
    return has(Fault::SlowWrite) ? kSlowWriteDelay : std::chrono::milliseconds{0};
}

std::string UsbDevice::takeAnswer(std::size_t max, Clock::time_point now) {
    std::string out;
    while (!answers_.empty() && answers_.front().due <= now && out.size() < max) {
        Pending& p = answers_.front();
        std::size_t n = std::min(max - out.size(), p.bytes.size());
        out.append(p.bytes, 0, n);
        p.bytes.erase(0, n);
        if (p.bytes.empty()) answers_.pop_front();
    }
    return out;
}

std::optional<UsbDevice::Clock::time_point> UsbDevice::nextDue() const {
    if (answers_.empty()) return std::nullopt;
    return answers_.front().due;
}

}  // namespace zdx::bench
