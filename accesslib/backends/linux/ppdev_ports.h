// LPT1 and LPT2 through ppdev, on the nodes that parport_map.h assigns.
//
// The port I/O driver's part is played here. Opening the driver succeeds when
// LPT1 or LPT2 has a node. The request that grants LPT1's or LPT2's range
// takes the port without ever waiting for it: an exclusive non-blocking lock
// on the node, then an exclusive registration with ppdev (PPEXCL) and the
// claim. A port that another program (or the kernel's printer driver) has
// registered, locked or holds is refused at once: a plain ppdev claim would
// wait for it, holding a lock that every ppdev user shares. The claim lasts
// the whole open session: the requests of a repeated open keep it, so what the
// program wrote stays on the port's lines; withdrawing the range, or closing
// the last driver handle, releases it. The extended register's range is
// covered by the claim.
//
// What ppdev reads back:
//   data     PPRDATA reads the data register itself;
//   status   PPRSTATUS reads the status register itself;
//   control  PPRCONTROL returns the driver's copy of what was last written,
//            only its four low bits (strobe, auto feed, init, select in):
//            bits 4..7 always read as 0; a fresh claim writes the driver's
//            initial value (0x0C on a PC-style port);
//   extended no ppdev request reaches it: it reads as a floating bus (0xFF)
//            and writes to it are dropped, as at every address outside a
//            claimed port.
#pragma once

#include <cstdint>

namespace zdx::linuxport {

// Opens a port I/O driver handle: false when neither LPT1 nor LPT2 has a node.
bool ppdev_open_driver();
// Closes one; the last one to close withdraws every granted port.
void ppdev_close_driver();

// A range request of the port I/O driver: open (grant) or close (withdraw)
// `first`..`last`. False when the port is not there or is refused.
bool ppdev_request(bool grant, std::uint32_t first, std::uint32_t last);

std::uint8_t ppdev_in(std::uint16_t address);
void ppdev_out(std::uint16_t address, std::uint8_t value);

}  // namespace zdx::linuxport
