#include "meter_gadget.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "configfs_files.h"

namespace zdx::gadget {

namespace {

constexpr std::uint16_t kVendor = 0x1209;
constexpr std::uint16_t kAdapterProduct = 0x0232;
// A partial line longer than this is thrown away, as the meter's input buffer would.
constexpr std::size_t kMaxLine = 4096;

}  // namespace

MeterGadget::MeterGadget(std::string name, std::string udc, bench::MeterModel& meter,
                         std::mutex& lock, int pullAfter)
    : name_(std::move(name)),
      udc_(std::move(udc)),
      meter_(meter),
      lock_(lock),
      pullAfter_(pullAfter) {
    gadgetDir_ = kGadgetRoot + name_;
}

bool MeterGadget::start() {
    const std::string function = "acm." + name_;
    if (!makeGadget(name_, kVendor, kAdapterProduct, "ZDX", "RS-232 adapter", name_, function)) {
        return false;
    }
    // The gadget side of the line: /dev/ttyGS<port_num>.
    int port = -1;
    std::ifstream(gadgetDir_ + "/functions/" + function + "/port_num") >> port;
    const std::string path = "/dev/ttyGS" + std::to_string(port);
    const int tty = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    termios settings{};
    if (port < 0 || tty < 0 || ::tcgetattr(tty, &settings) != 0) {
        std::fprintf(stderr, "gadget: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    // No echo, no line editing, no CR LF translation: the meter sends its own.
    ::cfmakeraw(&settings);
    ::tcsetattr(tty, TCSANOW, &settings);
    std::thread(&MeterGadget::serve, this, tty).detach();
    return writeText(gadgetDir_ + "/UDC", udc_);
}

void MeterGadget::unbind() {
    writeText(gadgetDir_ + "/UDC", "\n");
}

void MeterGadget::serve(int tty) {
    std::string line;
    char buffer[256];
    for (;;) {
        const ssize_t n = ::read(tty, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // hung up: the adapter was pulled
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] != '\n') {
                if (line.size() < kMaxLine) line.push_back(buffer[i]);
                continue;
            }
            if (!line.empty() && line.back() == '\r') line.pop_back();
            answer(tty, line);
            line.clear();
        }
    }
}

void MeterGadget::answer(int tty, const std::string& line) {
    std::optional<bench::MeterModel::Reply> reply;
    {
        std::lock_guard<std::mutex> guard(lock_);
        reply = meter_.handleLine(line, bench::MeterModel::Clock::now());
    }
    if (!reply) return;
    // A reading takes its time; the lines after it wait in the line's buffer.
    std::this_thread::sleep_until(reply->due);
    [[maybe_unused]] const ssize_t w = ::write(tty, reply->bytes.data(), reply->bytes.size());
    if (pullAfter_ > 0 && meter_.readings() >= pullAfter_) {
        ::tcdrain(tty);
        unbind();
    }
}

}  // namespace zdx::gadget
