// The built access library, bound by name through dlopen as the programs bind
// it, plus buffers with guard bytes to catch writes past what a call may touch.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "zdxusbcal.h"

namespace zdx::testing {

class ZdxLibrary {
  public:
    using GetInfoFn = int (*)(int*, char*, int*, char*, int*, char*, int*, char*, int*);
    using CalCommandFn = int (*)(int, const char*, char*, int*);
    using CommandLptFn = int (*)(int, int);

    ZdxLibrary() {
        handle_ = ::dlopen(ZDXUSBCAL_FILE, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) throw std::runtime_error(::dlerror());
        getInfo = reinterpret_cast<GetInfoFn>(::dlsym(handle_, "GetUSBDeviceInfo"));
        calCommand = reinterpret_cast<CalCommandFn>(::dlsym(handle_, "CalCommand"));
        commandLpt = reinterpret_cast<CommandLptFn>(::dlsym(handle_, "CommandLPT"));
        if (!getInfo || !calCommand || !commandLpt) throw std::runtime_error("export missing");
    }
    ~ZdxLibrary() { ::dlclose(handle_); }
    ZdxLibrary(const ZdxLibrary&) = delete;
    ZdxLibrary& operator=(const ZdxLibrary&) = delete;

    GetInfoFn getInfo = nullptr;
    CalCommandFn calCommand = nullptr;
    CommandLptFn commandLpt = nullptr;

  private:
    void* handle_ = nullptr;
};

// A caller's buffer of `size` bytes between two guard zones.
class GuardedBuffer {
  public:
    static constexpr std::size_t kGuard = 64;
    static constexpr char kFill = static_cast<char>(0xA5);

    explicit GuardedBuffer(std::size_t size, const std::string& text = {})
        : size_(size), bytes_(size + 2 * kGuard, kFill) {
        std::fill_n(bytes_.begin() + kGuard, size_, '\0');
        std::copy_n(text.begin(), std::min(text.size(), size_), bytes_.begin() + kGuard);
    }
    char* data() { return bytes_.data() + kGuard; }
    std::string text() const { return std::string(bytes_.data() + kGuard); }
    bool guardsIntact() const {
        for (std::size_t i = 0; i < kGuard; ++i)
            if (bytes_[i] != kFill || bytes_[kGuard + size_ + i] != kFill) return false;
        return true;
    }

  private:
    std::size_t size_;
    std::vector<char> bytes_;
};

// One GetUSBDeviceInfo call as both programs make it: 200-byte buffers, the
// given filters, capacities as given (0 = the defaults).
struct DeviceInfo {
    int result = 0, count = 0;
    std::string serial, s4, s5, s6;
    int serialLength = 0, s4Length = 0, s5Length = 0, s6Length = 0;
    bool guardsIntact = false;
};

inline DeviceInfo getDeviceInfo(ZdxLibrary& lib, const std::string& serialFilter = {},
                                const std::string& idFilter = {}, int capacity = 0,
                                std::size_t bufferSize = 201) {
    GuardedBuffer serial(bufferSize, serialFilter), s4(bufferSize), s5(bufferSize),
        s6(bufferSize, idFilter);
    DeviceInfo info;
    info.serialLength = info.s4Length = info.s5Length = info.s6Length = capacity;
    info.result = lib.getInfo(&info.count, serial.data(), &info.serialLength, s4.data(),
                              &info.s4Length, s5.data(), &info.s5Length, s6.data(), &info.s6Length);
    info.serial = serial.text();
    info.s4 = s4.text();
    info.s5 = s5.text();
    info.s6 = s6.text();
    info.guardsIntact =
        serial.guardsIntact() && s4.guardsIntact() && s5.guardsIntact() && s6.guardsIntact();
    return info;
}

struct Exchange {
    int result = 0, value = -1;
    std::string buffer;
    bool guardsIntact = false;
};

// CalCommand function 0 with a buffer exactly as long as the command plus its NUL.
inline Exchange exchange(ZdxLibrary& lib, const std::string& serial, const std::string& command) {
    GuardedBuffer buffer(command.size() + 1, command);
    Exchange e;
    e.result = lib.calCommand(ZDXUSBCAL_FN_USB, serial.c_str(), buffer.data(), &e.value);
    e.buffer = buffer.text();
    e.guardsIntact = buffer.guardsIntact();
    return e;
}

}  // namespace zdx::testing
