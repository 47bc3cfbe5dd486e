#include "usb_emulation.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace zdx::testing {

struct EmulatedUrb {
    UMockdevIoctlData* data = nullptr;  // the client's URB, held until reaped
    bool control = false;
    int status = 0;
    Bytes bytes;     // delivered to the client's buffer (after the setup packet for control)
    int actual = 0;  // bytes transferred
};

namespace {

constexpr std::uint8_t kSetupSize = 8;

Bytes default_device_descriptor(std::uint16_t vendor, std::uint16_t product) {
    return {18,
            1,
            0x00,
            0x02,
            0x00,
            0x00,
            0x00,
            64,
            static_cast<std::uint8_t>(vendor),
            static_cast<std::uint8_t>(vendor >> 8),
            static_cast<std::uint8_t>(product),
            static_cast<std::uint8_t>(product >> 8),
            0x00,
            0x01,
            1,
            2,
            3,
            1};
}

// One configuration: a vendor-specific interface with bulk IN 0x81 and OUT 0x02.
Bytes config_descriptor(std::uint16_t packet) {
    const auto low = static_cast<std::uint8_t>(packet & 0xFF);
    const auto high = static_cast<std::uint8_t>(packet >> 8);
    return {9,  2, 32,   0, 1,   1,    0, 0x80,
            50,  // configuration
            9,  4, 0,    0, 2,   0xFF, 0, 0,
            0,  // interface 0
            7,  5, 0x81, 2, low, high,
            0,                              // bulk IN
            7,  5, 0x02, 2, low, high, 0};  // bulk OUT
}

std::string hex(const Bytes& bytes) {
    std::string text;
    char pair[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", b);
        text += pair;
    }
    return text;
}

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
    return static_cast<EmulatedCalibrator*>(device)->handle(client);
}

void on_vanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
    static_cast<EmulatedCalibrator*>(device)->vanished(client);
}

}  // namespace

Bytes string_descriptor(const std::string& text) {
    Bytes d{static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
    for (char c : text) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

EmulatedCalibrator::EmulatedCalibrator(std::uint16_t vendor, std::uint16_t product,
                                       std::string serial, std::uint16_t packet)
    : vendor_(vendor),
      product_(product),
      packet_(packet),
      device_descriptor_(default_device_descriptor(vendor, product)),
      languages_{4, 3, 0x07, 0x04} {
    strings_[3] = string_descriptor(serial);
}

EmulatedCalibrator::~EmulatedCalibrator() {
    for (auto& entry : connections_) drop(entry.second);
}

void EmulatedCalibrator::drop(Connection& connection) {
    for (auto* queue : {&connection.waiting_in, &connection.done}) {
        for (auto& urb : *queue) g_object_unref(urb->data);
        queue->clear();
    }
}

void EmulatedCalibrator::vanished(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto found = connections_.find(client);
    if (found == connections_.end()) return;
    drop(found->second);
    connections_.erase(found);
}

Bytes EmulatedCalibrator::sysfs_descriptors() const {
    Bytes all = default_device_descriptor(vendor_, product_);
    const Bytes config = config_descriptor(packet_);
    all.insert(all.end(), config.begin(), config.end());
    return all;
}

void EmulatedCalibrator::set_string(std::uint8_t index, Bytes descriptor) {
    std::lock_guard<std::mutex> guard(lock_);
    strings_[index] = std::move(descriptor);
}

void EmulatedCalibrator::set_device_descriptor(Bytes descriptor) {
    std::lock_guard<std::mutex> guard(lock_);
    device_descriptor_ = std::move(descriptor);
}

void EmulatedCalibrator::set_languages(Bytes descriptor) {
    std::lock_guard<std::mutex> guard(lock_);
    languages_ = std::move(descriptor);
}

void EmulatedCalibrator::set_answerer(std::function<std::string(const std::string&)> answer) {
    std::lock_guard<std::mutex> guard(lock_);
    answer_ = std::move(answer);
}

void EmulatedCalibrator::set_flood(bool flood) {
    std::lock_guard<std::mutex> guard(lock_);
    flood_ = flood;
}

void EmulatedCalibrator::unplug() {
    std::lock_guard<std::mutex> guard(lock_);
    gone_ = true;
    // Requests in flight end as the kernel may end them for a device that is
    // gone: a transfer error (EPROTO). (It may also flush them as "no device",
    // which a request submitted after the departure gets here.)
    for (auto& entry : connections_) {
        for (auto& urb : entry.second.waiting_in) {
            urb->status = -EPROTO;
            entry.second.done.push_back(urb);
        }
        entry.second.waiting_in.clear();
    }
}

void EmulatedCalibrator::unplug_after_next_command() {
    std::lock_guard<std::mutex> guard(lock_);
    gone_after_command_ = true;
}

void EmulatedCalibrator::set_kernel_driver(bool bound) {
    std::lock_guard<std::mutex> guard(lock_);
    kernel_driver_ = bound;
}

void EmulatedCalibrator::set_babble(bool babble) {
    std::lock_guard<std::mutex> guard(lock_);
    babble_ = babble;
}

void EmulatedCalibrator::set_interface_held(bool held) {
    std::lock_guard<std::mutex> guard(lock_);
    interface_held_ = held;
}

void EmulatedCalibrator::stall_next(bool in) {
    std::lock_guard<std::mutex> guard(lock_);
    stall_next_[in ? 1 : 0] = true;
}

void EmulatedCalibrator::set_write_fault(WriteFault fault) {
    std::lock_guard<std::mutex> guard(lock_);
    write_fault_ = fault;
}

void EmulatedCalibrator::set_answer_chunk(std::size_t bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    answer_chunk_ = bytes;
}

void EmulatedCalibrator::plug_back() {
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& entry : connections_) drop(entry.second);
    connections_.clear();
    gone_ = gone_after_command_ = false;
    line_.clear();
    pending_answer_.clear();
}

EmulatedCalibrator::Counters EmulatedCalibrator::counters() {
    std::lock_guard<std::mutex> guard(lock_);
    return counters_;
}

Bytes EmulatedCalibrator::control_answer(const std::uint8_t* setup, int& status) {
    status = 0;
    const std::uint8_t type = setup[3];
    const std::uint8_t index = setup[2];
    const auto language = static_cast<std::uint16_t>(setup[4] | setup[5] << 8);
    const auto length = static_cast<std::uint16_t>(setup[6] | setup[7] << 8);
    Bytes answer;
    if (setup[0] != 0x80 || setup[1] != 6) {
        status = -EPIPE;
    } else if (type == 1) {
        answer = device_descriptor_;
    } else if (type == 3 && index == 0) {
        ++counters_.language_requests;
        answer = languages_;
    } else if (type == 3) {
        counters_.string_languages.push_back(language);
        counters_.longest_string_request = std::max(counters_.longest_string_request, length);
        const auto found = strings_.find(index);
        if (found == strings_.end()) {
            status = -EPIPE;  // a stall: no such string
        } else {
            answer = found->second;
        }
    } else {
        status = -EPIPE;
    }
    // The host takes no more than it asked for, whatever the device offers.
    if (answer.size() > length) answer.resize(length);
    return answer;
}

void EmulatedCalibrator::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Connection& connection = connections_[client];
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto* urb = reinterpret_cast<usbdevfs_urb*>(data->data);
    if (urb->buffer_length > 0) {
        UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
            data, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
        g_object_unref(buffer);  // the URB's data keeps it
    }
    auto request = std::make_shared<EmulatedUrb>();
    request->data = data;
    const auto* buffer = static_cast<const std::uint8_t*>(urb->buffer);
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL && urb->buffer_length >= kSetupSize) {
        request->control = true;
        request->bytes = control_answer(buffer, request->status);
        request->actual = static_cast<int>(request->bytes.size());
        connection.done.push_back(request);
    } else if (const int side = (urb->endpoint & 0x80) ? 1 : 0;
               halted_[side] || stall_next_[side]) {
        // A halted endpoint answers every transfer with a stall.
        stall_next_[side] = false;
        halted_[side] = true;
        request->status = -EPIPE;
        connection.done.push_back(request);
    } else if ((urb->endpoint & 0x80) == 0) {
        if (urb->buffer_length == 0) ++counters_.zero_length_outs;
        if (write_fault_ == WriteFault::Refused) {
            request->status = -EPROTO;
            connection.done.push_back(request);
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
        const int taken =
            write_fault_ == WriteFault::Short ? urb->buffer_length / 2 : urb->buffer_length;
        for (int i = 0; i < taken; ++i) {
            const char c = static_cast<char>(buffer[i]);
            if (c != '\n') {
                line_ += c;
                continue;
            }
            counters_.commands.push_back(line_);
            const std::string answer = answer_ ? answer_(line_) : std::string();
            pending_answer_.insert(pending_answer_.end(), answer.begin(), answer.end());
            line_.clear();
            if (gone_after_command_) gone_ = true;
        }
        request->actual = taken;
        connection.done.push_back(request);
    } else {
        ++counters_.bulk_in_submits;
        if (babble_) {
            request->status = -EOVERFLOW;
            connection.done.push_back(request);
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
        connection.waiting_in.push_back(request);
        complete_pending_in(connection);
    }
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedCalibrator::complete_pending_in(Connection& connection) {
    while (!connection.waiting_in.empty() && (flood_ || !pending_answer_.empty()) && !gone_) {
        auto request = connection.waiting_in.front();
        connection.waiting_in.pop_front();
        const auto* urb = reinterpret_cast<usbdevfs_urb*>(request->data->data);
        const auto size = static_cast<std::size_t>(urb->buffer_length);
        if (flood_) {
            request->bytes.assign(size, 'x');
        } else {
            std::size_t n = std::min(size, pending_answer_.size());
            if (answer_chunk_ > 0) n = std::min(n, answer_chunk_);
            request->bytes.assign(pending_answer_.begin(), pending_answer_.begin() + n);
            pending_answer_.erase(pending_answer_.begin(), pending_answer_.begin() + n);
        }
        request->actual = static_cast<int>(request->bytes.size());
        connection.done.push_back(request);
    }
}

void EmulatedCalibrator::reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Connection& connection = connections_[client];
    if (connection.done.empty()) {
        umockdev_ioctl_client_complete(client, -1, gone_ ? ENODEV : EAGAIN);
        return;
    }
    auto request = connection.done.front();
    connection.done.pop_front();
    auto* urb = reinterpret_cast<usbdevfs_urb*>(request->data->data);
    auto* buffer = static_cast<std::uint8_t*>(urb->buffer);
    const std::size_t offset = request->control ? kSetupSize : 0;
    const std::size_t room = static_cast<std::size_t>(urb->buffer_length) - offset;
    const std::size_t n = std::min(room, request->bytes.size());
    if (n > 0) std::memcpy(buffer + offset, request->bytes.data(), n);
    urb->actual_length = request->status == 0 ? request->actual : 0;
    urb->status = request->status;
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
    umockdev_ioctl_data_set_ptr(pointer, 0, request->data);
    g_object_unref(pointer);
    umockdev_ioctl_client_complete(client, 0, 0);
    g_object_unref(request->data);
}

void EmulatedCalibrator::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Connection& connection = connections_[client];
    const auto address = reinterpret_cast<gulong>(*reinterpret_cast<void**>(arg->data));
    const auto found =
        std::find_if(connection.waiting_in.begin(), connection.waiting_in.end(),
                     [&](const auto& urb) { return urb->data->client_addr == address; });
    if (found == connection.waiting_in.end()) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    (*found)->status = -ENOENT;
    connection.done.push_back(*found);
    connection.waiting_in.erase(found);
    umockdev_ioctl_client_complete(client, 0, 0);
}

gboolean EmulatedCalibrator::handle(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock_);

    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
        reap(client, arg);
        return TRUE;
    }
    if (request == USBDEVFS_DISCARDURB) {
        discard(client, arg);
        return TRUE;
    }
    if (gone_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    switch (request) {
        case USBDEVFS_SUBMITURB:
            submit(client, arg);
            return TRUE;
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            *reinterpret_cast<guint32*>(caps->data) =
                USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM;
            g_object_unref(caps);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_CLAIMINTERFACE:
            // The kernel refuses an interface that a driver or another file holds.
            if (kernel_driver_ || interface_held_) {
                umockdev_ioctl_client_complete(client, -1, EBUSY);
                return TRUE;
            }
            ++counters_.claims;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_CLEAR_HALT: {
            UMockdevIoctlData* e = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
            const unsigned endpoint = *reinterpret_cast<unsigned*>(e->data);
            g_object_unref(e);
            halted_[(endpoint & 0x80) ? 1 : 0] = false;
            ++counters_.clear_halts;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_RELEASEINTERFACE:
            ++counters_.releases;
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_GETDRIVER: {
            if (!kernel_driver_) {
                umockdev_ioctl_client_complete(client, -1, ENODATA);
                return TRUE;
            }
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
            auto* driver = reinterpret_cast<usbdevfs_getdriver*>(d->data);
            std::snprintf(driver->driver, sizeof driver->driver, "%s", "zdxcal");
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_IOCTL: {
            UMockdevIoctlData* d =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
            const auto* command = reinterpret_cast<usbdevfs_ioctl*>(d->data);
            if (command->ioctl_code == static_cast<int>(USBDEVFS_DISCONNECT)) {
                ++counters_.detaches;
                kernel_driver_ = false;
            } else if (command->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
                ++counters_.attaches;
                kernel_driver_ = true;
            }
            g_object_unref(d);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        default:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
    }
}

EmulatedUsbBus::EmulatedUsbBus() {
    testbed_ = umockdev_testbed_new();
    const Bytes hub = {18, 1, 0x00, 0x02, 9, 0,  1, 64, 0x6b, 0x1d, 0x02, 0x00, 0x06, 0x06, 3,
                       2,  1, 1,    9,    2, 25, 0, 1,  1,    0,    0xE0, 0,    9,    4,    0,
                       0,  1, 9,    0,    0, 0,  7, 5,  0x81, 3,    4,    0,    12};
    const std::string text =
        "P: /devices/usb1\nN: bus/usb/001/001\nE: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\n"
        "E: DEVNUM=001\nE: DEVNAME=/dev/bus/usb/001/001\n"
        "A: busnum=1\\n\nA: devnum=1\\n\nA: bConfigurationValue=1\\n\n"
        "A: speed=480\\n\nH: descriptors=" +
        hex(hub) + "\n";
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), nullptr)) {
        throw std::runtime_error("umockdev refused the root hub");
    }
}

EmulatedUsbBus::~EmulatedUsbBus() {
    g_object_unref(testbed_);
    for (Slot& slot : slots_) g_object_unref(slot.handler);
}

EmulatedCalibrator& EmulatedUsbBus::add(std::uint16_t vendor, std::uint16_t product,
                                        const std::string& serial, std::uint16_t packet) {
    const int port = static_cast<int>(slots_.size()) + 1;
    const int devnum = port + 1;
    char node[32];
    std::snprintf(node, sizeof node, "bus/usb/001/%03d", devnum);
    Slot slot;
    slot.device = std::make_unique<EmulatedCalibrator>(vendor, product, serial, packet);
    slot.handler = umockdev_ioctl_base_new();
    g_signal_connect(slot.handler, "handle-ioctl", G_CALLBACK(on_ioctl), slot.device.get());
    g_signal_connect(slot.handler, "client-vanished", G_CALLBACK(on_vanished), slot.device.get());
    const std::string devnode = std::string("/dev/") + node;
    if (!umockdev_testbed_attach_ioctl(testbed_, devnode.c_str(), slot.handler, nullptr)) {
        throw std::runtime_error("umockdev cannot emulate " + devnode);
    }
    const std::string text =
        "P: /devices/usb1/1-" + std::to_string(port) + "\nN: " + node +
        "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=" +
        std::to_string(devnum) + "\nE: DEVNAME=" + devnode +
        "\nA: busnum=1\\n\nA: devnum=" + std::to_string(devnum) +
        "\\n\nA: bConfigurationValue=1\\n\nA: speed=480\\n\n" +
        "H: descriptors=" + hex(slot.device->sysfs_descriptors()) + "\n";
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), nullptr)) {
        throw std::runtime_error("umockdev refused the device on port " + std::to_string(port));
    }
    slot.syspath = "/sys/devices/usb1/1-" + std::to_string(port);
    slot.devnode = devnode;
    slot.description = text;
    slots_.push_back(std::move(slot));
    return *slots_.back().device;
}

void EmulatedUsbBus::unplug(EmulatedCalibrator& device) {
    device.unplug();
    for (Slot& slot : slots_) {
        if (slot.device.get() != &device) continue;
        umockdev_testbed_uevent(testbed_, slot.syspath.c_str(), "remove");
        umockdev_testbed_remove_device(testbed_, slot.syspath.c_str());
    }
}

void EmulatedUsbBus::replug(EmulatedCalibrator& device) {
    for (Slot& slot : slots_) {
        if (slot.device.get() != &device) continue;
        device.plug_back();
        umockdev_testbed_detach_ioctl(testbed_, slot.devnode.c_str(), nullptr);
        if (!umockdev_testbed_attach_ioctl(testbed_, slot.devnode.c_str(), slot.handler, nullptr) ||
            !umockdev_testbed_add_from_string(testbed_, slot.description.c_str(), nullptr)) {
            throw std::runtime_error("umockdev refused the device again");
        }
        umockdev_testbed_uevent(testbed_, slot.syspath.c_str(), "add");
    }
}

std::string EmulatedUsbBus::root() const {
    gchar* dir = umockdev_testbed_get_root_dir(testbed_);
    std::string text(dir);
    g_free(dir);
    return text;
}

}  // namespace zdx::testing
