#include "usb_devices.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <utility>

#include "../../src/constants.h"
#include "libusb_entries.h"

namespace zdx::linuxusb {

struct UsbDevice {
    libusb_device_handle* handle = nullptr;
    std::string plugged;  // the path and the bus address of this plug-in
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
    std::uint16_t out_packet = 0;  // the OUT endpoint's largest packet
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
                candidate.out_packet = endpoint.wMaxPacketSize;
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

// The first language ID of each device plugged in, asked for once: a device
// is opened several times per discovery, and a device plugged in again gets a
// new bus address.
std::uint16_t language_of(const UsbDevice& device) {
    static std::map<std::string, std::uint16_t> languages;
    const auto known = languages.find(device.plugged);
    if (known != languages.end()) return known->second;
    const std::uint16_t language = first_language(device.handle);
    languages.emplace(device.plugged, language);
    return language;
}

bool string_descriptor(UsbDevice& device, const void* in, std::uint32_t in_size, void* out,
                       std::uint32_t out_size, std::uint32_t* returned) {
    if (in == nullptr || in_size <= kStringIndexOffset || out == nullptr) return false;
    const std::uint8_t index = static_cast<const std::uint8_t*>(in)[kStringIndexOffset];
    std::uint8_t answer[kLongestStringWanted] = {};
    const int got =
        get_descriptor(device.handle, LIBUSB_DT_STRING, index, language_of(device), answer,
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
    int pipes = 0;
};

std::map<std::string, Claim>& claims() {
    static std::map<std::string, Claim> table;
    return table;
}

// The devices whose kernel driver the library took off their interface. The
// driver stays off while the library is loaded (exchanges come up to 60 times
// a second, and every re-attach makes the kernel probe the device again) and
// gets the interface back when the library is unloaded or the process ends.
class DetachedDrivers {
  public:
    ~DetachedDrivers() {
        if (libusb().context == nullptr) return;
        for (const auto& [path, number] : interfaces_) {
            PipeEndpoints endpoints;
            libusb_device_handle* handle = open_at(path, &endpoints);
            if (handle == nullptr) continue;
            libusb().attach_kernel_driver(handle, number);
            libusb().close(handle);
        }
    }
    void add(const std::string& path, int number) { interfaces_[path] = number; }

  private:
    std::map<std::string, int> interfaces_;
};

DetachedDrivers& detached_drivers() {
    static DetachedDrivers drivers;
    return drivers;
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
        detached_drivers().add(path, number);
    }
    if (libusb().claim_interface(claim.handle, number) != LIBUSB_SUCCESS) {
        libusb().close(claim.handle);
        return false;
    }
    return true;
}

void release_interface(Claim& claim) {
    libusb().release_interface(claim.handle, claim.endpoints.interface_number);
    libusb().close(claim.handle);
}

// Tells the operator once per device and reason that a calibrator is
// skipped because it cannot be opened.
void report_unopenable(libusb_device* device, const std::string& path, int error) {
    static std::set<std::pair<std::string, int>> told;
    if (!told.insert({path, error}).second) return;
    libusb_device_descriptor descriptor{};
    libusb().get_device_descriptor(device, &descriptor);
    std::fprintf(stderr, "zdxusbcal: the calibrator %04x:%04x at %s cannot be opened (%s)%s\n",
                 descriptor.idVendor, descriptor.idProduct, path.c_str(),
                 libusb().error_name(error),
                 error == LIBUSB_ERROR_ACCESS
                     ? ": no access for this user; give it with a udev rule (zdx-calibrator-rules)"
                     : "; it is skipped");
}

bool openable(libusb_device* device, const std::string& path) {
    libusb_device_handle* handle = nullptr;
    const int result = libusb().open(device, &handle);
    if (result != LIBUSB_SUCCESS) {
        report_unopenable(device, path, result);
        return false;
    }
    libusb().close(handle);
    return true;
}

// One bulk transfer; a stalled endpoint is cleared and the transfer made
// once more, so that a halt heals without a re-plug.
int bulk(libusb_device_handle* handle, std::uint8_t endpoint, unsigned char* data, int size,
         int* transferred, unsigned wait_ms) {
    int result = libusb().bulk_transfer(handle, endpoint, data, size, transferred, wait_ms);
    if (result == LIBUSB_ERROR_PIPE && libusb().clear_halt(handle, endpoint) == LIBUSB_SUCCESS) {
        result = libusb().bulk_transfer(handle, endpoint, data, size, transferred, wait_ms);
    }
    return result;
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
        // One that cannot be opened would end the search for those behind it.
        const std::string path = location_of(list[i]);
        if (!openable(list[i], path)) continue;
        std::uint8_t ports[kMaxPortChain] = {};
        const int depth = std::max(0, libusb().get_port_numbers(list[i], ports, kMaxPortChain));
        std::vector<int> key{libusb().get_bus_number(list[i])};
        key.insert(key.end(), ports, ports + depth);
        found.emplace_back(std::move(key), path);
    }
    // Ordered by bus and port chain: the same order on every enumeration.
    std::sort(found.begin(), found.end());
    for (auto& entry : found) paths.push_back(std::move(entry.second));
    return true;
}

UsbDevice* usb_open_device(const std::string& path) {
    libusb_device_handle* handle = open_at(path, nullptr);
    if (handle == nullptr) return nullptr;
    try {
        const int address = libusb().get_device_address(libusb().get_device(handle));
        return new UsbDevice{handle, path + "#" + std::to_string(address)};
    } catch (const std::bad_alloc&) {
        libusb().close(handle);
        return nullptr;
    }
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
        return string_descriptor(*device, in, in_size, out, out_size, returned);
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
    const int result =
        bulk(claim->second.handle, pipe->endpoint, static_cast<unsigned char*>(buffer),
             static_cast<int>(size), &transferred, kPipeReadWaitMs);
    // A wait that ends without (all) data is no failure: what arrived counts.
    // Any other outcome (an overflow loses data) ends the read at once.
    if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_TIMEOUT) return false;
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
    const Claim& held = claim->second;
    const int result = bulk(held.handle, pipe->endpoint, bytes, static_cast<int>(size),
                            &transferred, kPipeWriteWaitMs);
    if (result != LIBUSB_SUCCESS && result != LIBUSB_ERROR_TIMEOUT) return false;
    *written = static_cast<std::uint32_t>(std::clamp<int>(transferred, 0, static_cast<int>(size)));
    // A transfer that fills its last packet is only complete for the device
    // with a zero-length packet after it.
    const std::uint16_t packet = held.endpoints.out_packet;
    if (result == LIBUSB_SUCCESS && packet > 0 && size > 0 && *written == size &&
        size % packet == 0) {
        int none = 0;
        if (bulk(held.handle, pipe->endpoint, bytes, 0, &none, kPipeWriteWaitMs) !=
            LIBUSB_SUCCESS) {
            return false;
        }
    }
    return true;
}

}  // namespace zdx::linuxusb
