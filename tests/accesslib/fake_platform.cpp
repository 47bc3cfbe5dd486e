#include "fake_platform.h"

#include <algorithm>
#include <cstring>

namespace zdx::testing {

namespace {

FakePlatform* current = nullptr;

constexpr std::uint8_t kSerialIndex = 3;
constexpr std::uint32_t kGetDeviceDescriptor = 0x0022000C;
constexpr std::uint32_t kGetStringDescriptor = 0x00220010;
constexpr std::uint32_t kPortioAccess = 0x9C406000;
const std::string kDriverPath = "\\\\.\\Dev_DirectNT";

std::uint32_t get_u32(const std::uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

const PlatformOps kOps = {
    .name = "fake",
    .bind_setup = [] { return current->bind_setup(); },
    .get_class_devs = [](const std::uint8_t*) -> DeviceInfoSet {
        ++current->sets_open;
        return current;
    },
    .enum_interface = [](DeviceInfoSet, const std::uint8_t*,
                         std::uint32_t index) { return current->enum_interface(index); },
    .interface_path =
        [](DeviceInfoSet, const std::uint8_t*, std::uint32_t index, char* path,
           std::size_t capacity, std::size_t* required) {
            return current->interface_path(index, path, capacity, required);
        },
    .destroy_set = [](DeviceInfoSet) { --current->sets_open; },
    .open = [](const char* path, OpenMode mode) { return current->open(path, mode); },
    .device_control =
        [](PlatformHandle handle, std::uint32_t code, const void* in, std::uint32_t in_size,
           void* out, std::uint32_t out_size, std::uint32_t* returned) {
            return current->device_control(handle, code, in, in_size, out, out_size, returned);
        },
    .read = [](PlatformHandle handle, void* buffer, std::uint32_t size,
               std::uint32_t* got) { return current->read(handle, buffer, size, got); },
    .write = [](PlatformHandle handle, const void* data, std::uint32_t size,
                std::uint32_t* written) { return current->write(handle, data, size, written); },
    .close = [](PlatformHandle handle) { return current->close(handle); },
    .clock_ms = [] { return current->clock; },
    .os_family = [] { return current->os_family; },
    .port_in = [](std::uint16_t address) { return current->registers[address]; },
    .port_out = [](std::uint16_t address,
                   std::uint8_t value) { current->port_writes.emplace_back(address, value); },
};

}  // namespace

std::vector<std::uint8_t> string_descriptor(const std::string& text) {
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

FakePlatform::FakePlatform() {
    current = this;
}
FakePlatform::~FakePlatform() {
    current = nullptr;
}

const PlatformOps& FakePlatform::ops() const {
    return kOps;
}

FakeDevice& FakePlatform::add_device(const std::string& serial) {
    devices.push_back(FakeDevice{});
    devices.back().serial = serial;
    return devices.back();
}

std::string FakePlatform::path_of(std::size_t index) const {
    const FakeDevice& device = devices[index];
    return device.path.empty() ? "\\\\?\\usb#cal#" + std::to_string(index) : device.path;
}

bool FakePlatform::bind_setup() {
    ++bind_attempts;
    return setup_present;
}

std::uint32_t FakePlatform::enum_interface(std::uint32_t index) const {
    const auto error = enum_errors.find(index);
    if (error != enum_errors.end()) return error->second;
    return index < devices.size() ? 0 : kErrorNoMoreItems;
}

bool FakePlatform::interface_path(std::uint32_t index, char* path, std::size_t capacity,
                                  std::size_t* required) const {
    if (index >= devices.size()) return false;
    const std::string text = path_of(index);
    *required = text.size() + 1;
    if (path == nullptr || capacity < *required) return false;
    std::memcpy(path, text.c_str(), text.size() + 1);
    return true;
}

PlatformHandle FakePlatform::open(const char* path, OpenMode mode) {
    const std::string text = path;
    opened.push_back(text);
    open_modes.push_back(mode);
    Item item{Kind::Device, 0, text};
    bool found = false;
    if (text == kDriverPath) {
        found = driver == Driver::Present;
        item.kind = Kind::PortDriver;
    }
    for (std::size_t i = 0; i < devices.size() && !found; ++i) {
        const std::string base = path_of(i);
        item.device = i;
        if (text == base) {
            found = !devices[i].open_fails;
            item.kind = Kind::Device;
        } else if (text == base + "\\PIPE00" || text == base + "\\PIPE01") {
            const std::string pipe = text.substr(base.size() + 1);
            found = devices[i].refused_pipes.count(pipe) == 0;
            item.kind = pipe == "PIPE00" ? Kind::AnswerPipe : Kind::CommandPipe;
        }
    }
    if (!found) return kInvalidHandle;
    handles_[next_handle_] = item;
    return next_handle_++;
}

std::vector<std::uint8_t> FakePlatform::string_answer(const FakeDevice& device, int index) const {
    std::vector<std::uint8_t> answer;
    const auto raw = device.raw_strings.find(index);
    if (raw != device.raw_strings.end()) {
        answer = raw->second;
    } else {
        const std::string* texts[] = {&device.serial, &device.string4, &device.string5,
                                      &device.string6};
        answer = string_descriptor(*texts[index - kSerialIndex]);
    }
    if (device.header_form) answer.insert(answer.begin(), 12, 0xEE);
    return answer;
}

bool FakePlatform::device_control(PlatformHandle handle, std::uint32_t code, const void* in,
                                  std::uint32_t in_size, void* out, std::uint32_t out_size,
                                  std::uint32_t* returned) {
    *returned = 0;
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return false;
    const Item& item = found->second;
    const auto* request = static_cast<const std::uint8_t*>(in);
    if (item.kind == Kind::PortDriver && code == kPortioAccess && in_size == 16) {
        portio_requests.push_back(
            {get_u32(request), get_u32(request + 4), get_u32(request + 8), get_u32(request + 12)});
        return static_cast<int>(portio_requests.size()) - 1 != refuse_portio_request;
    }
    if (item.kind != Kind::Device) return false;
    const FakeDevice& device = devices[item.device];
    if (code == kGetDeviceDescriptor && out_size == 18) {
        if (device.device_descriptor_fails) return false;
        auto* descriptor = static_cast<std::uint8_t*>(out);
        descriptor[0] = 18;
        descriptor[1] = 1;
        descriptor[16] = kSerialIndex;
        *returned = 18;
        return true;
    }
    if (code == kGetStringDescriptor) {
        string_requests.emplace_back(request, request + in_size);
        const int index = request[6];
        if (request[7] != 3 || device.refused_strings.count(index) != 0 || index < 3 || index > 6) {
            return false;
        }
        const std::vector<std::uint8_t> answer = string_answer(device, index);
        *returned = static_cast<std::uint32_t>(std::min<std::size_t>(answer.size(), out_size));
        if (*returned > 0)
            std::memcpy(out, answer.data(), *returned);  // an empty answer has no data
        return true;
    }
    return false;
}

bool FakePlatform::read(PlatformHandle handle, void* buffer, std::uint32_t size,
                        std::uint32_t* got) {
    ++reads;
    *got = 0;
    const auto found = handles_.find(handle);
    if (found == handles_.end() || found->second.kind != Kind::AnswerPipe) return false;
    std::deque<Chunk>& answer = devices[found->second.device].answer;
    if (answer.empty()) {
        clock += idle_read_ms;
        return true;
    }
    Chunk chunk = answer.front();
    answer.pop_front();
    clock += chunk.after_ms;
    *got = static_cast<std::uint32_t>(std::min<std::size_t>(chunk.bytes.size(), size));
    std::memcpy(buffer, chunk.bytes.data(), *got);
    return true;
}

bool FakePlatform::write(PlatformHandle handle, const void* data, std::uint32_t size,
                         std::uint32_t* written) {
    *written = 0;
    const auto found = handles_.find(handle);
    if (found == handles_.end() || found->second.kind != Kind::CommandPipe) return false;
    FakeDevice& device = devices[found->second.device];
    clock += device.write_ms;
    if (device.write_refused) return false;
    *written = device.write_short ? size - 1 : size;
    device.written.append(static_cast<const char*>(data), *written);
    return true;
}

int FakePlatform::close(PlatformHandle handle) {
    const auto found = handles_.find(handle);
    if (found == handles_.end()) return 0;
    closed.push_back(found->second.path);
    handles_.erase(found);
    return 1;
}

}  // namespace zdx::testing
