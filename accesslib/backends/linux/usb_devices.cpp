#include "usb_devices.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <utility>

#include "../../src/constants.h"
#include "libusb_entries.h"

namespace zdx::linuxusb {

struct UsbDevice {
    libusb_device_handle* handle = nullptr;
};

namespace {

constexpr std::uint8_t kVendorSpecificClass = 0xFF;
constexpr unsigned kControlWaitMs = 500;
constexpr std::uint16_t kLanguageTableIndex = 0;
constexpr std::size_t kStringIndexOffset = 6;     // low byte of the request's value field
constexpr int kMaxPortChain = 7;                  // the USB limit of tiers below a root
constexpr std::uint8_t kStandardDeviceIn = 0x80;  // device to host, standard, device

std::vector<UsbId>& calibrator_ids() {
    static std::vector<UsbId> ids;
    return ids;
}

std::string location_of(libusb_device* device) {
    const LibusbEntries& usb = libusb();
    std::uint8_t ports[kMaxPortChain] = {};
    const int depth = usb.get_port_numbers(device, ports, kMaxPortChain);
    std::string text = "usb:" + std::to_string(usb.get_bus_number(device)) + "-";
    if (depth <= 0) return text + "0";
    for (int i = 0; i < depth; ++i) {
        if (i > 0) text += '.';
        text += std::to_string(ports[i]);
    }
    return text;
}

bool is_listed(libusb_device* device) {
    libusb_device_descriptor descriptor{};
    if (libusb().get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS) return false;
    return is_calibrator(calibrator_ids(), descriptor.idVendor, descriptor.idProduct);
}

// The device list of this moment, released on every way out.
class DeviceList {
  public:
    DeviceList() {
        if (libusb().context == nullptr) return;
        const ssize_t n = libusb().get_device_list(libusb().context, &list_);
        count_ = n > 0 ? static_cast<std::size_t>(n) : 0;
        ok_ = n >= 0;
    }
    ~DeviceList() {
        if (list_ != nullptr) libusb().free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    bool ok() const { return ok_; }
    std::size_t size() const { return count_; }
    libusb_device* operator[](std::size_t i) const { return list_[i]; }

  private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
    bool ok_ = false;
};

// The endpoints of the vendor-specific interface with one bulk IN and one
// bulk OUT endpoint.
struct PipeEndpoints {
    int interface_number = -1;
    std::uint8_t in = 0;
    std::uint8_t out = 0;
};

bool find_endpoints(libusb_device* device, PipeEndpoints& found) {
    libusb_config_descriptor* config = nullptr;
    if (libusb().get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS) return false;
    for (int i = 0; i < config->bNumInterfaces && found.interface_number < 0; ++i) {
        const libusb_interface& interface = config->interface[i];
        if (interface.num_altsetting < 1) continue;
        const libusb_interface_descriptor& setting = interface.altsetting[0];
        if (setting.bInterfaceClass != kVendorSpecificClass) continue;
        int bulk_in = 0, bulk_out = 0;
        PipeEndpoints candidate;
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
            if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) {
                continue;
            }
            if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
                ++bulk_in;
                candidate.in = endpoint.bEndpointAddress;
            } else {
                ++bulk_out;
                candidate.out = endpoint.bEndpointAddress;
            }
        }
        if (bulk_in == 1 && bulk_out == 1) {
            candidate.interface_number = setting.bInterfaceNumber;
            found = candidate;
        }
    }
    libusb().free_config_descriptor(config);
    return found.interface_number >= 0;
}

// Opens the calibrator at `path`; with `endpoints`, only one that has the pipes.
libusb_device_handle* open_at(const std::string& path, PipeEndpoints* endpoints) {
    DeviceList list;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!is_listed(list[i]) || location_of(list[i]) != path) continue;
        if (endpoints != nullptr && !find_endpoints(list[i], *endpoints)) return nullptr;
        libusb_device_handle* handle = nullptr;
        if (libusb().open(list[i], &handle) != LIBUSB_SUCCESS) return nullptr;
        return handle;
    }
    return nullptr;
}

// GET_DESCRIPTOR as a standard control transfer; the number of bytes the
// device answered, or -1.
int get_descriptor(libusb_device_handle* handle, std::uint8_t type, std::uint8_t index,
                   std::uint16_t language, std::uint8_t* data, std::uint16_t length) {
    const int got = libusb().control_transfer(
        handle, kStandardDeviceIn, LIBUSB_REQUEST_GET_DESCRIPTOR,
        static_cast<std::uint16_t>(type << 8 | index), language, data, length, kControlWaitMs);
    return got < 0 ? -1 : std::min<int>(got, length);
}

// The device's first language ID; 0 when it offers no language table.
std::uint16_t first_language(libusb_device_handle* handle) {
    std::uint8_t table[kLongestStringWanted] = {};
    const int got =
        get_descriptor(handle, LIBUSB_DT_STRING, kLanguageTableIndex, 0, table, sizeof table);
    if (got < 4 || table[0] < 4 || table[1] != LIBUSB_DT_STRING) return 0;
    return static_cast<std::uint16_t>(table[2] | table[3] << 8);
}

bool string_descriptor(libusb_device_handle* handle, const void* in, std::uint32_t in_size,
                       void* out, std::uint32_t out_size, std::uint32_t* returned) {
    if (in == nullptr || in_size <= kStringIndexOffset || out == nullptr) return false;
    const std::uint8_t index = static_cast<const std::uint8_t*>(in)[kStringIndexOffset];
    std::uint8_t answer[kLongestStringWanted] = {};
    const int got =
        get_descriptor(handle, LIBUSB_DT_STRING, index, first_language(handle), answer,
                       static_cast<std::uint16_t>(std::min<std::size_t>(sizeof answer, out_size)));
    if (got < 0) return false;
    // The bare descriptor, exactly as many bytes as the device sent.
    std::memcpy(out, answer, static_cast<std::size_t>(got));
    *returned = static_cast<std::uint32_t>(got);
    return true;
}

bool device_descriptor(libusb_device_handle* handle, void* out, std::uint32_t out_size,
                       std::uint32_t* returned) {
    std::uint8_t answer[kDeviceDescriptorSize] = {};
    const int got = get_descriptor(handle, LIBUSB_DT_DEVICE, 0, 0, answer, sizeof answer);
    // A short answer has no serial-number index where the library reads it.
    if (got < static_cast<int>(kDeviceDescriptorSize) || out == nullptr ||
        out_size < kDeviceDescriptorSize) {
        return false;
    }
    std::memcpy(out, answer, kDeviceDescriptorSize);
    *returned = kDeviceDescriptorSize;
    return true;
}

// The claimed interface of one device, shared by its open pipes.
struct Claim {
    libusb_device_handle* handle = nullptr;
    PipeEndpoints endpoints;
    bool reattach = false;  // a kernel driver was detached and gets the interface back
    int pipes = 0;
};

std::map<std::string, Claim>& claims() {
    static std::map<std::string, Claim> table;
    return table;
}

bool claim_interface(const std::string& path, Claim& claim) {
    claim.handle = open_at(path, &claim.endpoints);
    if (claim.handle == nullptr) return false;
    const int number = claim.endpoints.interface_number;
    if (libusb().kernel_driver_active(claim.handle, number) == 1) {
        if (libusb().detach_kernel_driver(claim.handle, number) != LIBUSB_SUCCESS) {
            libusb().close(claim.handle);
            return false;
        }
        claim.reattach = true;
    }
    if (libusb().claim_interface(claim.handle, number) != LIBUSB_SUCCESS) {
        if (claim.reattach) libusb().attach_kernel_driver(claim.handle, number);
        libusb().close(claim.handle);
        return false;
    }
    return true;
}

void release_interface(Claim& claim) {
    const int number = claim.endpoints.interface_number;
    libusb().release_interface(claim.handle, number);
    if (claim.reattach) libusb().attach_kernel_driver(claim.handle, number);
    libusb().close(claim.handle);
}

}  // namespace

struct UsbPipe {
    std::string path;
    std::uint8_t endpoint = 0;
};

bool usb_bind(std::FILE* messages) {
    if (!load_libusb(libusb())) return false;
    calibrator_ids() = load_calibrator_ids(messages);
    return true;
}

bool usb_list_paths(std::vector<std::string>& paths) {
    DeviceList list;
    if (!list.ok()) return false;
    std::vector<std::pair<std::vector<int>, std::string>> found;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!is_listed(list[i])) continue;
        std::uint8_t ports[kMaxPortChain] = {};
        const int depth = std::max(0, libusb().get_port_numbers(list[i], ports, kMaxPortChain));
        std::vector<int> key{libusb().get_bus_number(list[i])};
        key.insert(key.end(), ports, ports + depth);
        found.emplace_back(std::move(key), location_of(list[i]));
    }
    // Ordered by bus and port chain: the same order on every enumeration.
    std::sort(found.begin(), found.end());
    for (auto& entry : found) paths.push_back(std::move(entry.second));
    return true;
}

UsbDevice* usb_open_device(const std::string& path) {
    libusb_device_handle* handle = open_at(path, nullptr);
    if (handle == nullptr) return nullptr;
    auto* device = new (std::nothrow) UsbDevice{handle};
    if (device == nullptr) libusb().close(handle);
    return device;
}

void usb_close_device(UsbDevice* device) {
    libusb().close(device->handle);
    delete device;
}

bool usb_device_control(UsbDevice* device, std::uint32_t code, const void* in,
                        std::uint32_t in_size, void* out, std::uint32_t out_size,
                        std::uint32_t* returned) {
    *returned = 0;
    if (code == kIoctlGetDeviceDescriptor) {
        return device_descriptor(device->handle, out, out_size, returned);
    }
    if (code == kIoctlGetStringDescriptor) {
        return string_descriptor(device->handle, in, in_size, out, out_size, returned);
    }
    return false;
}

UsbPipe* usb_open_pipe(const std::string& path, bool answer_pipe) {
    auto* pipe = new (std::nothrow) UsbPipe{path, 0};
    if (pipe == nullptr) return nullptr;
    auto existing = claims().find(path);
    if (existing == claims().end()) {
        Claim claim;
        if (!claim_interface(path, claim)) {
            delete pipe;
            return nullptr;
        }
        existing = claims().emplace(path, claim).first;
    }
    Claim& claim = existing->second;
    ++claim.pipes;
    pipe->endpoint = answer_pipe ? claim.endpoints.in : claim.endpoints.out;
    return pipe;
}

void usb_close_pipe(UsbPipe* pipe) {
    auto claim = claims().find(pipe->path);
    if (claim != claims().end() && --claim->second.pipes == 0) {
        release_interface(claim->second);
        claims().erase(claim);
    }
    delete pipe;
}

bool usb_read(UsbPipe* pipe, void* buffer, std::uint32_t size, std::uint32_t* got) {
    *got = 0;
    const auto claim = claims().find(pipe->path);
    if (claim == claims().end()) return false;
    int transferred = 0;
    const int result = libusb().bulk_transfer(
        claim->second.handle, pipe->endpoint, static_cast<unsigned char*>(buffer),
        static_cast<int>(size), &transferred, kPipeReadWaitMs);
    // A wait that ends without (all) data is no failure: what arrived counts.
    if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_TIMEOUT &&
        result != LIBUSB_ERROR_OVERFLOW) {
        return false;
    }
    *got = static_cast<std::uint32_t>(std::clamp<int>(transferred, 0, static_cast<int>(size)));
    return true;
}

bool usb_write(UsbPipe* pipe, const void* data, std::uint32_t size, std::uint32_t* written) {
    *written = 0;
    const auto claim = claims().find(pipe->path);
    if (claim == claims().end()) return false;
    int transferred = 0;
    // libusb does not write through the buffer of an OUT transfer.
    auto* bytes = const_cast<unsigned char*>(static_cast<const unsigned char*>(data));
    const int result =
        libusb().bulk_transfer(claim->second.handle, pipe->endpoint, bytes, static_cast<int>(size),
                               &transferred, kPipeWriteWaitMs);
    if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_TIMEOUT) return false;
    *written = static_cast<std::uint32_t>(std::clamp<int>(transferred, 0, static_cast<int>(size)));
    return true;
}

}  // namespace zdx::linuxusb
