// A scriptable platform for running the access library's core without
// hardware: calibrators with serial numbers, strings and faults, answer pipes
// whose bytes arrive on a fake millisecond clock, the port I/O driver and the
// parallel-port registers. Every call is recorded for the tests to inspect.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform.h"

namespace zdx::testing {

// Bytes that reach the answer pipe after `after_ms` on the fake clock.
struct Chunk {
    std::string bytes;
    std::uint32_t after_ms = 0;
};

struct FakeDevice {
    std::string serial;
    std::string string4, string5, string6;
    std::string path;  // empty: a short default path
    bool open_fails = false;
    bool device_descriptor_fails = false;
    bool header_form = false;  // string answers behind a 12-byte header
    std::set<int> refused_strings;
    std::map<int, std::vector<std::uint8_t>> raw_strings;  // replaces an answer
    std::set<std::string> refused_pipes;
    std::deque<Chunk> answer;
    bool write_refused = false;
    bool write_short = false;
    std::uint32_t write_ms = 0;
    std::string written;
};

enum class Driver { Missing, Present };

class FakePlatform {
  public:
    FakePlatform();  // becomes the platform behind ops()
    ~FakePlatform();
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    const PlatformOps& ops() const;

    FakeDevice& add_device(const std::string& serial);
    std::string path_of(std::size_t index) const;

    // Setup library and enumeration.
    bool setup_present = true;
    int bind_attempts = 0;
    std::map<std::uint32_t, std::uint32_t> enum_errors;  // index -> error
    int sets_open = 0;
    std::vector<std::vector<std::uint8_t>> string_requests;

    // Clock; an empty answer pipe lets this much time pass per read.
    std::uint32_t clock = 0;
    std::uint32_t idle_read_ms = 10;
    int reads = 0;

    // Port I/O driver and registers.
    std::uint32_t os_family = kPlatformNtFamily;
    Driver driver = Driver::Present;
    int refuse_portio_request = -1;  // index of the request to refuse
    std::vector<std::array<std::uint32_t, 4>> portio_requests;
    std::map<std::uint16_t, std::uint8_t> registers;
    std::vector<std::pair<std::uint16_t, std::uint8_t>> port_writes;

    // Opened and closed handles.
    std::vector<std::string> opened;
    std::vector<std::string> closed;
    std::vector<OpenMode> open_modes;
    std::size_t handles_open() const { return handles_.size(); }

    std::deque<FakeDevice> devices;  // a deque keeps add_device references valid

    // The operations (called through the table).
    bool bind_setup();
    std::uint32_t enum_interface(std::uint32_t index) const;
    bool interface_path(std::uint32_t index, char* path, std::size_t capacity,
                        std::size_t* required) const;
    PlatformHandle open(const char* path, OpenMode mode);
    bool device_control(PlatformHandle handle, std::uint32_t code, const void* in,
                        std::uint32_t in_size, void* out, std::uint32_t out_size,
                        std::uint32_t* returned);
    bool read(PlatformHandle handle, void* buffer, std::uint32_t size, std::uint32_t* got);
    bool write(PlatformHandle handle, const void* data, std::uint32_t size, std::uint32_t* written);
    int close(PlatformHandle handle);

  private:
    enum class Kind { Device, AnswerPipe, CommandPipe, PortDriver };
    struct Item {
        Kind kind;
        std::size_t device;
        std::string path;
    };
    std::vector<std::uint8_t> string_answer(const FakeDevice& device, int index) const;

    std::map<PlatformHandle, Item> handles_;
    PlatformHandle next_handle_ = 1;
};

// A string descriptor of `text` (one UTF-16 unit per character).
std::vector<std::uint8_t> string_descriptor(const std::string& text);

}  // namespace zdx::testing
