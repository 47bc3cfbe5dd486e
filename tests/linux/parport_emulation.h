// An emulated parallel port behind /dev/parportN, with its base address in
// the kernel's parport information, whose ppdev requests are answered as the
// kernel answers them:
//   - the first PPCLAIM of an open file registers it with the port; PPEXCL
//     before it asks for an exclusive registration, which fails (ENXIO) while
//     anyone else is registered, and while it stands every other
//     registration fails;
//   - PPCLAIM of a port that someone else holds waits until it is released
//     (it is not refused);
//   - a fresh registration's claim writes the initial control value 0x0C; a
//     re-claim of the same registration restores what it had written;
//   - PPRCONTROL returns the driver's copy of the control register masked to
//     its four low bits; PPRDATA and PPRSTATUS the lines;
//   - register requests without a claim fail (EINVAL); closing the file
//     releases and unregisters it.
// Every open file of the node, in this process or another one, is a client
// (umockdev's UMockdevIoctlClient, held here until its file is closed).
#pragma once

#include <umockdev.h>

#include <cstdint>
#include <deque>
#include <map>
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

    // Another driver of the kernel (a printer driver) is registered with the
    // port and holds it; ending that lets a waiting claim through.
    void set_held_by_driver(bool held);
    // The status lines.
    void set_status(std::uint8_t status);
    // Takes the device node away (the kernel information stays).
    void remove_node();

    struct Counters {
        int registrations = 0;  // fresh registrations: each rewrites the control register
        int claims = 0;
        int releases = 0;
        int waiting_claims = 0;      // claims that had to wait for the port
        int refused = 0;             // registrations refused for exclusivity
        int unclaimed_accesses = 0;  // register requests without a claim
    };
    Counters counters();
    // The control byte the program last wrote or the claim set (all 8 bits).
    std::uint8_t control();

    gboolean handle(UMockdevIoctlClient* client);
    void vanished(UMockdevIoctlClient* client);

  private:
    struct Client {
        bool exclusive = false;
        bool registered = false;
        bool claimed = false;
        std::uint8_t saved_control = 0;
    };
    bool held_by_other(UMockdevIoctlClient* client) const;
    void claim(UMockdevIoctlClient* client, Client& state);
    void release(Client& state);
    void hand_over();
    void forget(UMockdevIoctlClient* client);
    void forget_closed();
    gboolean registers(UMockdevIoctlClient* client, gulong request, Client& state);

    UMockdevTestbed* testbed_;
    UMockdevIoctlBase* handler_;
    std::string node_, root_, syspath_;
    std::mutex lock_;
    std::map<UMockdevIoctlClient*, Client> clients_;
    std::deque<UMockdevIoctlClient*> waiting_;  // claims not answered yet
    bool held_by_driver_ = false;
    std::uint8_t data_ = 0, status_ = 0x7F, control_ = 0;
    Counters counters_;
};

}  // namespace zdx::testing
