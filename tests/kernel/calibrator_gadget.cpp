#include "calibrator_gadget.h"

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "configfs_files.h"
#include "functionfs_descriptors.h"

namespace zdx::gadget {

namespace {

constexpr const char* kMountRoot = "/tmp/zdx-gadget/";
constexpr std::size_t kReadChunk = 512;
constexpr std::chrono::milliseconds kDropDelay{50};

bool writeAll(int fd, const Bytes& bytes) {
    return ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

}  // namespace

CalibratorGadget::CalibratorGadget(GadgetSetup setup, std::shared_ptr<bench::UsbDevice> device)
    : setup_(std::move(setup)), device_(std::move(device)) {
    gadgetDir_ = kGadgetRoot + setup_.name;
    mountDir_ = kMountRoot + setup_.name;
}

bool CalibratorGadget::configure() {
    return makeGadget(setup_.name, setup_.vendor, setup_.product, device_->string(4),
                      device_->string(5), device_->serial(), "ffs." + setup_.name);
}

bool CalibratorGadget::openFunction() {
    if (!makeDir(kMountRoot) || !makeDir(mountDir_)) return false;
    if (::mount(setup_.name.c_str(), mountDir_.c_str(), "functionfs", 0, nullptr) != 0) {
        std::fprintf(stderr, "gadget: mount functionfs: %s\n", std::strerror(errno));
        return false;
    }
    ep0_ = ::open((mountDir_ + "/ep0").c_str(), O_RDWR);
    if (ep0_ < 0 || !writeAll(ep0_, functionDescriptors()) ||
        !writeAll(ep0_,
                  functionStrings({device_->string(4), device_->string(5), device_->string(6)}))) {
        std::fprintf(stderr, "gadget: ep0: %s\n", std::strerror(errno));
        return false;
    }
    // FunctionFS numbers the endpoint files in the order of the descriptors.
    out_ = ::open((mountDir_ + "/ep1").c_str(), O_RDWR);
    in_ = ::open((mountDir_ + "/ep2").c_str(), O_RDWR);
    if (out_ < 0 || in_ < 0) {
        std::fprintf(stderr, "gadget: endpoint files: %s\n", std::strerror(errno));
        return false;
    }
    return true;
}

bool CalibratorGadget::start() {
    if (!configure() || !openFunction()) return false;
    std::thread(&CalibratorGadget::events, this).detach();
    if (!setup_.wire.deaf) std::thread(&CalibratorGadget::receive, this).detach();
    std::thread(&CalibratorGadget::send, this).detach();
    return writeText(gadgetDir_ + "/UDC", setup_.udc);
}

void CalibratorGadget::unbind() {
    writeText(gadgetDir_ + "/UDC", "\n");
}

void CalibratorGadget::setEnabled(bool enabled) {
    std::lock_guard<std::mutex> guard(lock_);
    if (enabled) {
        ++generation_;
    } else {
        // What was in flight is lost with the connection.
        device_->setPlugged(false);
        device_->setPlugged(true);
    }
    enabled_ = enabled;
    changed_.notify_all();
}

void CalibratorGadget::events() {
    usb_functionfs_event event[4];
    for (;;) {
        const ssize_t n = ::read(ep0_, event, sizeof event);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "gadget: ep0 read: %s\n", std::strerror(errno));
            return;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(n) / sizeof event[0]; ++i) {
            switch (event[i].type) {
                case FUNCTIONFS_ENABLE:
                    setEnabled(true);
                    break;
                case FUNCTIONFS_DISABLE:
                case FUNCTIONFS_UNBIND:
                    setEnabled(false);
                    break;
                case FUNCTIONFS_SETUP: {
                    // No request of the function's own: the data stage is
                    // stalled by moving the wrong way on ep0.
                    if (event[i].u.setup.bRequestType & USB_DIR_IN) {
                        [[maybe_unused]] const ssize_t r = ::read(ep0_, nullptr, 0);
                    } else {
                        [[maybe_unused]] const ssize_t w = ::write(ep0_, nullptr, 0);
                    }
                    break;
                }
                default:
                    break;
            }
        }
    }
}

void CalibratorGadget::receive() {
    char buffer[kReadChunk];
    for (;;) {
        std::uint32_t generation;
        {
            std::lock_guard<std::mutex> guard(lock_);
            generation = generation_;
        }
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n < 0) {
            // The host let go of the function: wait until it takes it again.
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [&] { return enabled_ && generation_ != generation; });
            continue;
        }
        const std::string_view bytes(buffer, static_cast<std::size_t>(n));
        bool command = false;
        {
            std::lock_guard<std::mutex> guard(lock_);
            device_->writeCommand(bytes, log_, bench::UsbDevice::Clock::now());
            command = bytes.find('\n') != std::string_view::npos;
            if (command && setup_.wire.dropAfterCommand) {
                // It leaves before it answers.
                device_->setPlugged(false);
                device_->setPlugged(true);
            }
            changed_.notify_all();
        }
        if (command && setup_.wire.dropAfterCommand) {
            // Long enough for the host to be waiting for the answer.
            std::this_thread::sleep_for(kDropDelay);
            unbind();
        }
    }
}

void CalibratorGadget::send() {
    for (;;) {
        std::string answer;
        {
            std::unique_lock<std::mutex> guard(lock_);
            for (;;) {
                const auto due = device_->nextDue();
                const auto now = bench::UsbDevice::Clock::now();
                if (enabled_ && due && *due <= now) break;
                if (enabled_ && due) {
                    changed_.wait_until(guard, *due);
                } else {
                    changed_.wait(guard);
                }
            }
            answer = device_->takeAnswer(answer.max_size(), bench::UsbDevice::Clock::now());
        }
        usb_endpoint_descriptor endpoint{};
        const std::size_t packet =
            ::ioctl(in_, FUNCTIONFS_ENDPOINT_DESC, &endpoint) == 0 ? endpoint.wMaxPacketSize : 0;
        if (setup_.wire.fullPacketAnswer && packet >= 2) {
            answer = std::string(packet - 2, 'x') + "\r\n";
        }
        if (setup_.wire.haltAnswerPipe) {
            // Reading an IN endpoint halts it; the host must clear the halt.
            char none;
            [[maybe_unused]] const ssize_t r = ::read(in_, &none, 1);
        }
        // Blocks until the host reads it; a late answer waits for the next read.
        if (::write(in_, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size())) {
            continue;  // the host left: the answer is lost with the connection
        }
        if (packet > 0 && answer.size() % packet == 0 && !setup_.wire.noZeroLengthPacket) {
            // Without a short packet the host's read would not end here.
            [[maybe_unused]] const ssize_t w = ::write(in_, nullptr, 0);
        }
    }
}

}  // namespace zdx::gadget
