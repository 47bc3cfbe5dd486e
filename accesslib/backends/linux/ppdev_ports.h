// LPT1 and LPT2 through ppdev. The parallel port at base 0x378 or 0x278 is
// found in the kernel's parport information (/proc/sys/dev/parport/parportN/
// base-addr) and reached as /dev/parportN.
//
// The port I/O driver's part is played here: opening the driver succeeds when
// a ppdev node exists for a port at one of the two bases; the request that
// grants a port's range opens that node and claims the port; the request that
// withdraws it releases the port and closes the node. The extended register's
// range is covered by the claim. Registers are reached by the ppdev requests
// for data, status and control; ppdev offers no access to the extended
// register, so it reads as a floating bus (0xFF) and writes to it are dropped,
// as every other address does outside a claimed port.
#pragma once

#include <cstdint>

namespace zdx::linuxport {

// The port I/O driver is present: a ppdev node for LPT1 or LPT2 exists.
bool ppdev_present();

// A range request of the port I/O driver: open (grant) or close (withdraw)
// `first`..`last`. False when the port is not there or refuses.
bool ppdev_request(bool grant, std::uint32_t first, std::uint32_t last);

// Withdraws every granted port (the driver handle is closed).
void ppdev_release_all();

std::uint8_t ppdev_in(std::uint16_t address);
void ppdev_out(std::uint16_t address, std::uint8_t value);

}  // namespace zdx::linuxport
