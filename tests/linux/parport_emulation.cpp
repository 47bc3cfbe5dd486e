#include "parport_emulation.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

namespace zdx::testing {

namespace {

// What a PC-style port's driver writes to the control register when a
// device registers: init high, select in.
constexpr std::uint8_t kInitialControl = 0x0C;
// PPRCONTROL answers from the driver's copy, masked to these bits.
constexpr std::uint8_t kReadableControl = 0x0F;

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer port) {
    return static_cast<EmulatedParport*>(port)->handle(client);
}

void on_vanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer port) {
    static_cast<EmulatedParport*>(port)->vanished(client);
}

}  // namespace

EmulatedParport::EmulatedParport(UMockdevTestbed* testbed, const std::string& root, int number,
                                 std::uint16_t base)
    : testbed_(testbed),
      handler_(umockdev_ioctl_base_new()),
      node_("/dev/parport" + std::to_string(number)),
      root_(root) {
    const std::filesystem::path info =
        std::filesystem::path(root) / "proc/sys/dev/parport" / ("parport" + std::to_string(number));
    std::filesystem::create_directories(info);
    // As the kernel writes it: the base address, a tab, the upper base.
    std::ofstream(info / "base-addr") << base << '\t' << (base + 0x400) << '\n';
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(on_ioctl), this);
    g_signal_connect(handler_, "client-vanished", G_CALLBACK(on_vanished), this);
    if (!umockdev_testbed_attach_ioctl(testbed_, node_.c_str(), handler_, nullptr)) {
        throw std::runtime_error("umockdev cannot emulate " + node_);
    }
    const std::string name = "parport" + std::to_string(number);
    syspath_ = "/sys/devices/platform/parport_pc.956/ppdev/" + name;
    const std::string text = "P: /devices/platform/parport_pc.956/ppdev/" + name + "\nN: " + name +
                             "\nE: SUBSYSTEM=ppdev\nE: DEVNAME=" + node_ + "\n";
    if (!umockdev_testbed_add_from_string(testbed_, text.c_str(), nullptr)) {
        throw std::runtime_error("umockdev refused " + node_);
    }
}

EmulatedParport::~EmulatedParport() {
    for (UMockdevIoctlClient* client : waiting_) g_object_unref(client);
    for (auto& entry : clients_) g_object_unref(entry.first);
    g_object_unref(handler_);
}

void EmulatedParport::set_held_by_driver(bool held) {
    std::lock_guard<std::mutex> guard(lock_);
    held_by_driver_ = held;
    if (!held) hand_over();
}

void EmulatedParport::set_status(std::uint8_t status) {
    std::lock_guard<std::mutex> guard(lock_);
    status_ = status;
}

void EmulatedParport::remove_node() {
    umockdev_testbed_detach_ioctl(testbed_, node_.c_str(), nullptr);
    umockdev_testbed_remove_device(testbed_, syspath_.c_str());
    std::filesystem::remove(std::filesystem::path(root_) / node_.substr(1));
}

EmulatedParport::Counters EmulatedParport::counters() {
    std::lock_guard<std::mutex> guard(lock_);
    return counters_;
}

std::uint8_t EmulatedParport::control() {
    std::lock_guard<std::mutex> guard(lock_);
    return control_;
}

bool EmulatedParport::held_by_other(UMockdevIoctlClient* client) const {
    if (held_by_driver_) return true;
    return std::any_of(clients_.begin(), clients_.end(), [&](const auto& entry) {
        return entry.first != client && entry.second.claimed;
    });
}

void EmulatedParport::claim(UMockdevIoctlClient* client, Client& state) {
    state.claimed = true;
    control_ = state.saved_control;
    ++counters_.claims;
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedParport::release(Client& state) {
    state.claimed = false;
    state.saved_control = control_;
    ++counters_.releases;
    hand_over();
}

// The port is free: the longest-waiting claim gets it.
void EmulatedParport::hand_over() {
    while (!waiting_.empty() && !held_by_driver_) {
        UMockdevIoctlClient* next = waiting_.front();
        waiting_.pop_front();
        const bool connected = umockdev_ioctl_client_get_connected(next);
        if (connected) claim(next, clients_.at(next));
        g_object_unref(next);
        if (connected) return;
    }
}

void EmulatedParport::vanished(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    forget(client);
}

// A closed file: the kernel releases its claim and unregisters it.
void EmulatedParport::forget(UMockdevIoctlClient* client) {
    const auto waiting = std::find(waiting_.begin(), waiting_.end(), client);
    if (waiting != waiting_.end()) {
        g_object_unref(*waiting);
        waiting_.erase(waiting);
    }
    const auto found = clients_.find(client);
    if (found == clients_.end()) return;
    const bool claimed = found->second.claimed;
    g_object_unref(found->first);
    clients_.erase(found);
    if (claimed) {
        ++counters_.releases;
        hand_over();
    }
}

// umockdev tells of a closed file only when asked: every client that is no
// longer connected is forgotten before a request is judged.
void EmulatedParport::forget_closed() {
    std::vector<UMockdevIoctlClient*> closed;
    for (const auto& entry : clients_) {
        if (!umockdev_ioctl_client_get_connected(entry.first)) closed.push_back(entry.first);
    }
    for (UMockdevIoctlClient* client : closed) forget(client);
}

gboolean EmulatedParport::handle(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    const gulong request = umockdev_ioctl_client_get_request(client);
    forget_closed();
    if (clients_.find(client) == clients_.end()) g_object_ref(client);
    Client& state = clients_[client];
    if (request == PPEXCL) {
        // Only before the registration, as the kernel takes it.
        if (state.registered) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
        } else {
            state.exclusive = true;
            umockdev_ioctl_client_complete(client, 0, 0);
        }
        return TRUE;
    }
    if (request == PPCLAIM) {
        if (state.claimed) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        if (!state.registered) {
            const bool others = held_by_driver_ ||
                                std::any_of(clients_.begin(), clients_.end(), [&](const auto& e) {
                                    return e.first != client && e.second.registered;
                                });
            const bool exclusive_other =
                std::any_of(clients_.begin(), clients_.end(), [&](const auto& e) {
                    return e.first != client && e.second.registered && e.second.exclusive;
                });
            if (exclusive_other || (state.exclusive && others)) {
                ++counters_.refused;
                umockdev_ioctl_client_complete(client, -1, ENXIO);
                return TRUE;
            }
            state.registered = true;
            state.saved_control = kInitialControl;
            ++counters_.registrations;
        }
        if (held_by_other(client)) {
            // The kernel's claim sleeps until the holder lets go.
            ++counters_.waiting_claims;
            waiting_.push_back(static_cast<UMockdevIoctlClient*>(g_object_ref(client)));
            return TRUE;
        }
        claim(client, state);
        return TRUE;
    }
    if (request == PPRELEASE) {
        if (!state.claimed) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        release(state);
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    return registers(client, request, state);
}

gboolean EmulatedParport::registers(UMockdevIoctlClient* client, gulong request, Client& state) {
    if (request != PPWDATA && request != PPRDATA && request != PPRSTATUS && request != PPRCONTROL &&
        request != PPWCONTROL) {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    if (!state.claimed) {
        ++counters_.unclaimed_accesses;
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    UMockdevIoctlData* byte =
        umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, 1, nullptr);
    std::uint8_t& value = byte->data[0];
    if (request == PPWDATA) {
        data_ = value;
    } else if (request == PPRDATA) {
        value = data_;
    } else if (request == PPRSTATUS) {
        value = status_;
    } else if (request == PPRCONTROL) {
        value = control_ & kReadableControl;
    } else {
        control_ = value;
    }
    g_object_unref(byte);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

}  // namespace zdx::testing
