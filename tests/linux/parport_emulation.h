// An emulated parallel port behind /dev/parportN (ppdev requests answered
// here), with its base address in the kernel's parport information.
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace zdx::testing {

class EmulatedParport {
  public:
    // Registers /dev/parport<number> with `base` in /proc/sys/dev/parport.
    EmulatedParport(UMockdevTestbed* testbed, const std::string& root, int number,
                    std::uint16_t base);
    ~EmulatedParport();
    EmulatedParport(const EmulatedParport&) = delete;
    EmulatedParport& operator=(const EmulatedParport&) = delete;

    // The port is held by someone else: every claim is refused.
    void set_busy(bool busy);
    // Status and control as the port's lines show them.
    void set_lines(std::uint8_t status, std::uint8_t control);
    // Takes the device node away (the kernel information stays).
    void remove_node();

    struct Counters {
        int claims = 0;
        int releases = 0;
        int unclaimed_accesses = 0;  // register requests without a claim
    };
    Counters counters();

    gboolean handle(UMockdevIoctlClient* client);

  private:
    UMockdevTestbed* testbed_;
    UMockdevIoctlBase* handler_;
    std::string node_, root_, syspath_;
    std::mutex lock_;
    bool busy_ = false;
    bool claimed_ = false;
    std::uint8_t data_ = 0, status_ = 0x7F, control_ = 0xCC;
    Counters counters_;
};

}  // namespace zdx::testing
