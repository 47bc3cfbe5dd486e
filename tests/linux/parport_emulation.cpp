#include "parport_emulation.h"

#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zdx::testing {

namespace {

gboolean on_ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer port) {
    return static_cast<EmulatedParport*>(port)->handle(client);
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
    g_object_unref(handler_);
}

void EmulatedParport::set_busy(bool busy) {
    std::lock_guard<std::mutex> guard(lock_);
    busy_ = busy;
}

void EmulatedParport::set_lines(std::uint8_t status, std::uint8_t control) {
    std::lock_guard<std::mutex> guard(lock_);
    status_ = status;
    control_ = control;
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

gboolean EmulatedParport::handle(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock_);
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    if (request == PPCLAIM) {
        if (busy_) {
            umockdev_ioctl_client_complete(client, -1, EBUSY);
            return TRUE;
        }
        ++counters_.claims;
        claimed_ = true;
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    if (request == PPRELEASE) {
        ++counters_.releases;
        claimed_ = false;
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    }
    std::uint8_t* value = nullptr;
    UMockdevIoctlData* byte = nullptr;
    if (request == PPWDATA || request == PPRDATA || request == PPRSTATUS || request == PPRCONTROL ||
        request == PPWCONTROL) {
        // ppdev refuses register requests on a port that is not claimed.
        if (!claimed_) {
            ++counters_.unclaimed_accesses;
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        byte = umockdev_ioctl_data_resolve(arg, 0, 1, nullptr);
        value = byte->data;
    }
    if (request == PPWDATA) {
        data_ = *value;
    } else if (request == PPRDATA) {
        *value = data_;
    } else if (request == PPRSTATUS) {
        *value = status_;
    } else if (request == PPRCONTROL) {
        *value = control_;
    } else if (request == PPWCONTROL) {
        control_ = *value;
    } else {
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
    g_object_unref(byte);
    umockdev_ioctl_client_complete(client, 0, 0);
    return TRUE;
}

}  // namespace zdx::testing
