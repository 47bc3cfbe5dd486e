#include "gadget_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <thread>

namespace zdx::testing {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadyWaitMs = 10000;

int nextUdc = 0;

void writeUdc(const std::string& name, const std::string& text) {
    std::ofstream file("/sys/kernel/config/usb_gadget/" + name + "/UDC");
    file << text;
    file.flush();
    if (!file) throw std::runtime_error("cannot write the UDC of gadget " + name);
}

}  // namespace

GadgetProcess::GadgetProcess(const std::string& kind, const std::string& serial,
                             const std::vector<std::string>& faults)
    : serial_(serial) {
    const int number = nextUdc++;
    name_ = "g" + std::to_string(number);
    udc_ = "dummy_udc." + std::to_string(number);
    std::vector<std::string> args = {ZDX_USB_GADGET, "--name", name_,      "--udc", udc_,
                                     "--kind",       kind,     "--serial", serial};
    for (const std::string& f : faults) {
        args.push_back("--fault");
        args.push_back(f);
    }
    int ready[2];
    if (::pipe(ready) != 0) throw std::runtime_error("pipe");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(ready[1], STDOUT_FILENO);
        ::close(ready[0]);
        ::close(ready[1]);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    char line[16] = {};
    const bool bound = ::poll(&wait, 1, kReadyWaitMs) == 1 &&
                       ::read(ready[0], line, sizeof line - 1) > 0 &&
                       std::string(line) == "ready\n";
    ::close(ready[0]);
    if (!bound) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        throw std::runtime_error("gadget " + serial + " did not come up on " + udc_);
    }
}

GadgetProcess::~GadgetProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
}

void GadgetProcess::unplug() {
    writeUdc(name_, "\n");
}

void GadgetProcess::replug() {
    writeUdc(name_, udc_);
}

std::string outputOf(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> output(::popen(command.c_str(), "r"), ::pclose);
    if (!output) throw std::runtime_error("cannot run " + command);
    std::string text;
    std::array<char, 256> chunk{};
    while (std::fgets(chunk.data(), chunk.size(), output.get()) != nullptr) text += chunk.data();
    return text;
}

std::string interfaceDriver(const std::string& serial) {
    namespace fs = std::filesystem;
    for (const auto& device : fs::directory_iterator("/sys/bus/usb/devices")) {
        std::ifstream file(device.path() / "serial");
        std::string text;
        if (!std::getline(file, text) || text != serial) continue;
        const fs::path driver =
            device.path().string() + ":1.0/driver";  // configuration 1, interface 0
        std::error_code error;
        const fs::path target = fs::read_symlink(driver, error);
        return error ? std::string() : target.filename().string();
    }
    return {};
}

bool waitUntilSeen(ZdxLibrary& library, const std::string& serial, bool present) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        if ((getDeviceInfo(library, serial).result == 0) == present) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace zdx::testing
